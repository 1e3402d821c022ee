#pragma once
// The settings as the dialog edits them: changes are collected in a draft and written to the
// settings file together (Apply, OK) or dropped (Cancel), so that a panel closed without
// saving leaves the file exactly as it was. Every change is checked by the settings editor's
// rules, which are the driver's own key table.

#include <string>
#include <vector>

#include "SettingsEditor.h"

// One value that a list of the dialog offers for a key.
struct ValueChoice {
    const char* label;   // what the user reads
    const char* value;   // what is written ("" removes the key: the default applies)
};

// A key that the dialog's Settings page shows as a field of its own. A list offers the key's
// default first.
struct MainSetting {
    const char* key;
    const char* label;
    const char* unit;                   // shown after a text field; empty for lists
    std::vector<ValueChoice> choices;   // empty: a text field; one: a check box (its "on" value)
};

// Latency buffer, sample format, DSD bit order, start delay, ring blocks, debug log.
const std::vector<MainSetting>& mainSettings();

// The index of value in the setting's choices (an empty value: the default, 0), -1 when it is
// none of them.
int choiceIndex(const MainSetting& setting, const std::string& value);

class PanelSettings {
public:
    explicit PanelSettings(SettingsEnvironment environment) : editor_(std::move(environment)) {}

    // Opens the file the driver reads (see SettingsEditor::open); the draft starts as the file.
    bool open(std::string& error);

    const std::string& path() const { return editor_.path(); }

    // The value in the draft ("" when the key is not set: its default applies).
    std::string value(const std::string& key, bool lowSection = false) const;

    // Changes the draft. Empty when taken, otherwise why the driver would not take the value
    // (the draft then keeps the old value).
    std::string set(const std::string& key, const std::string& value, bool lowSection = false);

    // Every key of a section with its value in the draft.
    std::vector<SettingRow> rows(bool lowSection) const { return SettingsEditor::rowsOf(draft_, lowSection); }

    // The draft becomes the factory settings. Empty when done, otherwise why not.
    std::string restoreFactory();

    // The draft differs from the file.
    bool changed() const { return !draft_.sameContent(editor_.file()); }

    // Writes the draft when it differs from the file. Empty when done, otherwise why not.
    std::string apply();

    // The draft becomes the file again.
    void discard();

    // The values the driver reads from the file as it stands (not the draft).
    DriverSettings inUse() const { return editor_.effective(); }

private:
    SettingsEditor editor_;
    IniFile draft_;
};
