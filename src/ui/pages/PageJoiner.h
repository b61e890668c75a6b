// The joiner page: an ordered list of files joined into one target.
#pragma once

#include "ui/pages/ResizablePage.h"
#include "ui/SettingsStore.h"

namespace corvane {

class CPageJoiner : public CResizablePage {
    Q_OBJECT
public:
    // Reads the page's settings.
    explicit CPageJoiner(QWidget* parent = nullptr);

    const JoinerPageSettings& Settings() const { return settings_; }
    JoinerPageSettings& Settings() { return settings_; }

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;

private:
    JoinerPageSettings settings_;
};

}  // namespace corvane
