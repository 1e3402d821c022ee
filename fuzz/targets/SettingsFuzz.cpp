// Settings files as the driver reads them: the file syntax (IniFile), section selection
// (global, LOW, dotted names) and every key's reading rule on whatever value the file holds.
// A file written back and read again holds the same sections and keys.

#include "driver/DriverSettings.h"
#include "driver/IniFile.h"
#include "driver/SettingsKeys.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IniFile ini;
    if (!ini.parse(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;

    for (const char* section : {"global", "LOW", "LOW.extra"}) {
        ini.select(section);
        SettingsKeyValues values;
        for (const SettingKey& key : settingKeys()) {
            if (std::string_view(key.name) == "Debug") continue;   // would switch on the process log
            if (const std::string value = ini.get(key.name); !value.empty()) key.apply(values, value);
        }
    }

    IniFile once, twice;
    if (!once.parse(ini.serialize()) || !twice.parse(once.serialize()) || !once.sameContent(twice)) std::abort();
    return 0;
}
