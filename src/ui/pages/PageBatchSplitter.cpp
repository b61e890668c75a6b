// The batch cutter page: one cut rule over a list of files.
#include "ui/pages/PageBatchSplitter.h"

namespace corvane {
namespace {

constexpr int kDesignWidth = 469;
constexpr int kDesignHeight = 321;

}  // namespace

CPageBatchSplitter::CPageBatchSplitter(QWidget* parent)
    : CResizablePage(QStringLiteral("MP3 Batch Cutter"), kDesignWidth, kDesignHeight, parent) {
    settings_.Load();
}

void CPageBatchSplitter::OnInitPage() {}

void CPageBatchSplitter::OnDestroyPage() { settings_.Save(kCutGroup); }

}  // namespace corvane
