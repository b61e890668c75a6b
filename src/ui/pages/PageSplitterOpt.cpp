// The cutter options page: encoding, output folder, naming and tag options of cuts.
#include "ui/pages/PageSplitterOpt.h"

namespace corvane {

CPageSplitterOpt::CPageSplitterOpt(QWidget* parent) : COptionsPage(QStringLiteral("Cutter Options"), parent) {}

bool CPageSplitterOpt::ValidateAndTakeOver() { return true; }

}  // namespace corvane
