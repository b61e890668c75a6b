// The batch joiner page: the same files joined to the start or end of many main files.
#include "ui/pages/PageBatchJoiner.h"

namespace corvane {

CPageBatchJoiner::CPageBatchJoiner(QWidget* parent)
    : CSettingsPage(QStringLiteral("MP3 Batch Joiner"), kJoinTypeGroup, parent) {}

}  // namespace corvane
