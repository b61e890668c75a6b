// The cutter page: one source, its facts, custom pieces, the cut.
#include "ui/pages/PageSplitter.h"

namespace corvane {
namespace {

constexpr int kDesignWidth = 469;
constexpr int kDesignHeight = 321;

}  // namespace

CPageSplitter::CPageSplitter(QWidget* parent)
    : CResizablePage(QStringLiteral("MP3 Cutter"), kDesignWidth, kDesignHeight, parent) {
    settings_.Load();
}

void CPageSplitter::OnInitPage() {}

void CPageSplitter::OnDestroyPage() { settings_.Save(kCutGroup); }

}  // namespace corvane
