// The cutter page: one source, its facts, custom pieces, the cut.
#pragma once

#include "ui/pages/ResizablePage.h"
#include "ui/SettingsStore.h"

namespace corvane {

class CPageSplitter : public CResizablePage {
    Q_OBJECT
public:
    // Reads the page's settings.
    explicit CPageSplitter(QWidget* parent = nullptr);

    const CutterPageSettings& Settings() const { return settings_; }
    CutterPageSettings& Settings() { return settings_; }

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;

private:
    CutterPageSettings settings_;
};

}  // namespace corvane
