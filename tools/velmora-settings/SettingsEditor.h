#pragma once
// Edits the settings file that the driver reads, refusing values the driver would not take.

#include <string>
#include <vector>

#include "driver/DriverSettings.h"
#include "driver/IniFile.h"
#include "driver/SettingsKeys.h"

struct SettingRow {
    const SettingKey* key;
    std::string value;     // as written in the file; empty when not set
    std::string problem;   // why the driver would not take the value as written; empty when it would
};

class SettingsEditor {
public:
    explicit SettingsEditor(SettingsEnvironment environment);

    // Finds the file the driver reads, exactly as the driver does (a new factory Version thus
    // resets it here too). When the driver would fall back to the read-only factory file, the
    // per-user file is created from the factory file so that changes have a place to go.
    // False with a reason when the file to edit cannot be read or created; reset still works.
    bool open(std::string& error);

    const std::string& path() const { return path_; }
    const DriverSettings& located() const { return located_; }

    // The file as last read or written.
    const IniFile& file() const { return file_; }

    // Every key of a section (global, or "LOW" with the keys read from it), in reading order.
    std::vector<SettingRow> rows(bool lowSection) const { return rowsOf(file_, lowSection); }
    static std::vector<SettingRow> rowsOf(const IniFile& file, bool lowSection);

    // Writes key=value into the file (an empty value removes the key: the default applies).
    // Returns the empty string when done, otherwise why the value was refused or not written.
    std::string set(const std::string& key, const std::string& value, bool lowSection);

    // The same change made to content only (spaces around the value dropped), nothing written.
    // Empty when made, otherwise why the value was refused.
    std::string edit(IniFile& content, const std::string& key, const std::string& value, bool lowSection) const;

    // Writes content as the whole settings file. Empty when done, otherwise why not.
    std::string write(const IniFile& content);

    // Replaces the file with the factory settings. Empty when done, otherwise why not.
    std::string reset();

    // The factory settings, read into content. Empty when done, otherwise why not.
    std::string factory(IniFile& content) const;

    // Remarks on how the driver will read the file (low profile, debug.inf ...).
    std::vector<std::string> notes() const;

    // The values the driver reads from the file as it now stands.
    DriverSettings effective() const;

    // Why the driver would not take key=value in that section (unknown key, key not read from
    // that section, a value the key table refuses); empty when it would.
    std::string check(const std::string& key, const std::string& value, bool lowSection) const;

private:
    SettingsEnvironment environment_;
    DriverSettings located_;
    IniFile file_;
    std::string path_;
};
