// The cutter options page: encoding, output folder, naming and tag options of cuts.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

namespace corvane {

class CPageSplitterOpt : public COptionsPage<CutterOptionSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves them whole when it goes.
    explicit CPageSplitterOpt(QWidget* parent = nullptr);
    bool ValidateAndTakeOver() override;
};

}  // namespace corvane
