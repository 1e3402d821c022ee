#pragma once
// The one table of the keys that the driver reads from its settings file, in reading order,
// with their meaning, defaults, the values they accept, and the rule that takes a value. The
// driver reads through it; the settings programs show and check values through it, and the
// user guide's key table is generated from it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct SettingsKeyValues;

struct SettingKey {
    const char* name;
    const char* meaning;        // what it does, in one sentence
    const char* defaultText;    // the default, as a user would write it
    const char* acceptedText;   // the values that take effect
    // True for the keys that come from section "LOW" when the low profile is on.
    bool lowProfileKey;
    // Takes a non-empty value into values. Returns the empty string when the value took effect
    // as written; otherwise what is wrong with it, ending in what the driver uses instead.
    std::string (*apply)(SettingsKeyValues& values, const std::string& value);
};

// Debug first, then DSDMSB .. NopBreak in the order the driver reads them.
std::span<const SettingKey> settingKeys();

// The key of that exact name, or null.
const SettingKey* findSettingKey(std::string_view name);

// Keys that stand in the settings files but are not values of the driver: Version,
// SettingPath, ASIOControlPanel.
bool isFileManagementKey(std::string_view name);

// What is wrong with name=value in a settings file's section global (or LOW): empty when the
// driver takes it as written (an empty value, which keeps the default, included); otherwise
// what is wrong and what the driver uses instead. Names are checked too: unknown ones (with
// the right spelling when only the case differs), the file keys, keys LOW does not hold.
std::string settingProblem(std::string_view name, const std::string& value, bool lowSection = false);

// The C library's decimal atoi: leading spaces, an optional sign, leading digits; text that
// is not a number gives 0. Values beyond the 32-bit range saturate.
int32_t settingNumber(std::string_view text);

// True when text is written as a plain decimal number (optional sign, digits only, in range),
// so that settingNumber reads all of it.
bool isPlainNumber(std::string_view text);
