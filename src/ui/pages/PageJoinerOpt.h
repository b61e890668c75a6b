// The joiner options page: encoding, output folder and target-exists rule of joins.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

namespace corvane {

class CPageJoinerOpt : public COptionsPage<JoinerOptionSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves them whole when it goes.
    explicit CPageJoinerOpt(QWidget* parent = nullptr);
    bool ValidateAndTakeOver() override;
};

}  // namespace corvane
