// The batch cutter page: one cut rule over a list of files.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

namespace corvane {

class CPageBatchSplitter : public CSettingsPage<BatchCutterSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves its cut values when it goes.
    explicit CPageBatchSplitter(QWidget* parent = nullptr);
};

}  // namespace corvane
