// The batch joiner page: the same files joined to the start or end of many main files.
#include "ui/pages/PageBatchJoiner.h"

namespace corvane {
namespace {

constexpr int kDesignWidth = 469;
constexpr int kDesignHeight = 321;

}  // namespace

CPageBatchJoiner::CPageBatchJoiner(QWidget* parent)
    : CResizablePage(QStringLiteral("MP3 Batch Joiner"), kDesignWidth, kDesignHeight, parent) {
    settings_.Load();
}

void CPageBatchJoiner::OnInitPage() {}

void CPageBatchJoiner::OnDestroyPage() { settings_.Save(kJoinTypeGroup); }

}  // namespace corvane
