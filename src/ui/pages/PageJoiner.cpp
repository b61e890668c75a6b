// The joiner page: an ordered list of files joined into one target.
#include "ui/pages/PageJoiner.h"

namespace corvane {
namespace {

constexpr int kDesignWidth = 469;
constexpr int kDesignHeight = 321;

}  // namespace

CPageJoiner::CPageJoiner(QWidget* parent)
    : CResizablePage(QStringLiteral("MP3 Joiner"), kDesignWidth, kDesignHeight, parent) {
    settings_.Load();
}

void CPageJoiner::OnInitPage() {}

void CPageJoiner::OnDestroyPage() { settings_.Save(kTagGroup); }

}  // namespace corvane
