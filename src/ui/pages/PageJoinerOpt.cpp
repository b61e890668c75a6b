// The joiner options page: encoding, output folder and target-exists rule of joins.
#include "ui/pages/PageJoinerOpt.h"

namespace corvane {

CPageJoinerOpt::CPageJoinerOpt(QWidget* parent) : COptionsPage(QStringLiteral("Joiner Options"), parent) {}

bool CPageJoinerOpt::ValidateAndTakeOver() { return true; }

}  // namespace corvane
