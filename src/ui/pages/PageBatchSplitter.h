// The batch cutter page: one cut rule over a list of files.
#pragma once

#include "ui/pages/ResizablePage.h"
#include "ui/SettingsStore.h"

namespace corvane {

class CPageBatchSplitter : public CResizablePage {
    Q_OBJECT
public:
    // Reads the page's settings.
    explicit CPageBatchSplitter(QWidget* parent = nullptr);

    const BatchCutterSettings& Settings() const { return settings_; }
    BatchCutterSettings& Settings() { return settings_; }

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;

private:
    BatchCutterSettings settings_;
};

}  // namespace corvane
