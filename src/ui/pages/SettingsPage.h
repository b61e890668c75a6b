// Bases of the pages that own one settings record (SettingsStore.h).
//
// The record is read when the page object is made, at start-up, whether or not the page is
// ever shown; it is saved when an initialised page goes with the main window (OnDestroyPage),
// never for a page that was not shown. Records saved by group sets (the work pages') save
// the page's groups; the option pages' records always save whole.
#pragma once

#include "ui/pages/ResizablePage.h"

namespace corvane {

template <typename Record>
class CSettingsPage : public CResizablePage {
public:
    const Record& Settings() const { return settings_; }
    Record& Settings() { return settings_; }

protected:
    // A page of the standard design size captioned caption whose record saves the group set
    // saveGroups.
    CSettingsPage(const QString& caption, unsigned saveGroups, QWidget* parent)
        : CResizablePage(caption, parent), saveGroups_(saveGroups) {
        settings_.Load();
    }
    // The same for a record that always saves whole.
    CSettingsPage(const QString& caption, QWidget* parent) : CSettingsPage(caption, 0, parent) {}

    void OnDestroyPage() override {
        if constexpr (requires(const Record& r) { r.Save(0u); })
            settings_.Save(saveGroups_);
        else
            settings_.Save();
    }

private:
    Record settings_;
    unsigned saveGroups_;  // unused for a record that always saves whole
};

// Base of the option pages: their record saves whole, and the page may be closed only when
// the values of its controls pass their checks and are taken into the record.
template <typename Record>
class COptionsPage : public CSettingsPage<Record> {
public:
    // Checks the page's controls and takes their values into the settings. A page that was
    // never shown accepts at once. On refusal the page has shown its message and focused the
    // offending control.
    virtual bool ValidateAndTakeOver() = 0;
    // The page may be closed when ValidateAndTakeOver accepts.
    bool CanClose() override { return ValidateAndTakeOver(); }

protected:
    COptionsPage(const QString& caption, QWidget* parent) : CSettingsPage<Record>(caption, parent) {}
};

}  // namespace corvane
