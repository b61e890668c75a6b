// The cutter options page: encoding, output folder, naming and tag options of cuts.
#pragma once

#include "ui/pages/ResizablePage.h"
#include "ui/SettingsStore.h"

namespace corvane {

class CPageSplitterOpt : public CResizablePage {
    Q_OBJECT
public:
    // Reads the page's settings.
    explicit CPageSplitterOpt(QWidget* parent = nullptr);
    // Checks the page's controls and takes their values into the settings. A page that was
    // never shown accepts at once. On refusal the page has shown its message and focused the
    // offending control.
    bool ValidateAndTakeOver();
    // The page may be closed when ValidateAndTakeOver accepts.
    bool CanClose() override { return ValidateAndTakeOver(); }

    const CutterOptionSettings& Settings() const { return settings_; }
    CutterOptionSettings& Settings() { return settings_; }

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;

private:
    CutterOptionSettings settings_;
};

}  // namespace corvane
