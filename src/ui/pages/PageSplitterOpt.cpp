// The cutter options page: encoding, output folder, naming and tag options of cuts.
#include "ui/pages/PageSplitterOpt.h"

namespace corvane {
namespace {

constexpr int kDesignWidth = 469;
constexpr int kDesignHeight = 321;

}  // namespace

CPageSplitterOpt::CPageSplitterOpt(QWidget* parent)
    : CResizablePage(QStringLiteral("Cutter Options"), kDesignWidth, kDesignHeight, parent) {
    settings_.Load();
}

void CPageSplitterOpt::OnInitPage() {}

void CPageSplitterOpt::OnDestroyPage() { settings_.Save(); }

bool CPageSplitterOpt::ValidateAndTakeOver() { return true; }

}  // namespace corvane
