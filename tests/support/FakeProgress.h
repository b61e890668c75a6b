// A progress dialog for tests: records the bar and can cancel after a number of updates.
#pragma once

#include <string>
#include <vector>

#include "engine/Progress.h"

namespace corvane::test {

class FakeProgress : public IProgressDialog, public IProgressBar {
public:
    IProgressBar& Bar() override { return *this; }
    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
    int Steps() const override { return width; }
    void SetRange(int low, int high) override {
        rangeLow = low;
        rangeHigh = high;
    }
    void SetPosition(int position) override {
        positions.push_back(position);
        if (cancelAfterUpdates > 0 && static_cast<int>(positions.size()) >= cancelAfterUpdates) cancelled = 1;
    }

    int width = 200;
    int rangeLow = 0;
    int rangeHigh = 0;
    int cancelAfterUpdates = 0;  // 0: never
    std::vector<int> positions;
    std::vector<std::string> statusTexts;
};

}  // namespace corvane::test
