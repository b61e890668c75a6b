// The batch joiner page: the same files joined to the start or end of many main files.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

namespace corvane {

class CPageBatchJoiner : public CSettingsPage<BatchJoinerSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves its join type when it goes.
    explicit CPageBatchJoiner(QWidget* parent = nullptr);
};

}  // namespace corvane
