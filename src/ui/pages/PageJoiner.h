// The joiner page: an ordered list of files joined into one target.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

namespace corvane {

class CPageJoiner : public CSettingsPage<JoinerPageSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves its tag values when it goes.
    explicit CPageJoiner(QWidget* parent = nullptr);
};

}  // namespace corvane
