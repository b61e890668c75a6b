// The joiner options page: encoding, output folder and target-exists rule of joins.
#include "ui/pages/PageJoinerOpt.h"

namespace corvane {
namespace {

constexpr int kDesignWidth = 469;
constexpr int kDesignHeight = 321;

}  // namespace

CPageJoinerOpt::CPageJoinerOpt(QWidget* parent)
    : CResizablePage(QStringLiteral("Joiner Options"), kDesignWidth, kDesignHeight, parent) {
    settings_.Load();
}

void CPageJoinerOpt::OnInitPage() {}

void CPageJoinerOpt::OnDestroyPage() { settings_.Save(); }

bool CPageJoinerOpt::ValidateAndTakeOver() { return true; }

}  // namespace corvane
