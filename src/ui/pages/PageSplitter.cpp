// The cutter page: one source, its facts, custom pieces, the cut.
#include "ui/pages/PageSplitter.h"

namespace corvane {

CPageSplitter::CPageSplitter(QWidget* parent)
    : CSettingsPage(QStringLiteral("MP3 Cutter"), kCutGroup, parent) {}

}  // namespace corvane
