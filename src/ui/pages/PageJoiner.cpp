// The joiner page: an ordered list of files joined into one target.
#include "ui/pages/PageJoiner.h"

namespace corvane {

CPageJoiner::CPageJoiner(QWidget* parent)
    : CSettingsPage(QStringLiteral("MP3 Joiner"), kTagGroup, parent) {}

}  // namespace corvane
