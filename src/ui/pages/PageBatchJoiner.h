// The batch joiner page: the same files joined to the start or end of many main files.
#pragma once

#include "ui/pages/ResizablePage.h"
#include "ui/SettingsStore.h"

namespace corvane {

class CPageBatchJoiner : public CResizablePage {
    Q_OBJECT
public:
    // Reads the page's settings.
    explicit CPageBatchJoiner(QWidget* parent = nullptr);

    const BatchJoinerSettings& Settings() const { return settings_; }
    BatchJoinerSettings& Settings() { return settings_; }

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;

private:
    BatchJoinerSettings settings_;
};

}  // namespace corvane
