// The cutter page: one source, its facts, custom pieces, the cut.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

namespace corvane {

class CPageSplitter : public CSettingsPage<CutterPageSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves its cut values when it goes.
    explicit CPageSplitter(QWidget* parent = nullptr);
};

}  // namespace corvane
