// The batch cutter page: one cut rule over a list of files.
#include "ui/pages/PageBatchSplitter.h"

namespace corvane {

CPageBatchSplitter::CPageBatchSplitter(QWidget* parent)
    : CSettingsPage(QStringLiteral("MP3 Batch Cutter"), kCutGroup, parent) {}

}  // namespace corvane
