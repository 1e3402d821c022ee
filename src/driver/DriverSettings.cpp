#include "driver/DriverSettings.h"

#include "driver/IniFile.h"
#include "driver/SettingsKeys.h"
#include "log/LogLine.h"
#include "log/LogSink.h"
#include "find/ProductTag.h"
#include "platform/Files.h"

namespace {

// Debug switches logging on: the level, and the process's sink if it is not open yet.
void applyLogLevel(int32_t level) {
    if (level < 0) return;
    setLogLevel(level);
    if (auto sink = currentLogSink(); sink && !sink->isOpen()) sink->open(LogSink::defaultPort);
}

}  // namespace

void DriverSettings::load(const SettingsEnvironment& environment) {
    locate(environment);
    readKeys();
    LogLine(6) << "settingOrgPath : " << factoryPath;
    LogLine(6) << "Velmora ASIO DLL : " << std::string(VELMORA::driverVersionText);
}

bool DriverSettings::readKeys() {
    resetToDefaults();
    debugPath.clear();
    problems.clear();

    IniFile ini, debugOnly;
    if (!ini.load(settingPath)) return false;
    LogLine(7) << "load : " << settingPath;
    const std::string debugFile = platform::folderOf(settingPath) + debugFileName;
    if (ini.load(debugFile)) {
        debugPath = debugFile;
        debugOnly.load(debugFile);
    }
    // Each value the driver does not take as written, with the file it stands in.
    auto note = [&](const std::string& key, const std::string& value, const std::string& problem) {
        if (problem.empty()) return;
        debugOnly.select(ini.selected());
        const std::string& file = debugOnly.get(key).empty() ? settingPath : debugPath;
        problems.push_back({file, ini.selected(), key, value, problem});
        LogLine(4) << "setting " << file << " : [" << ini.selected() << "] " << key << "=" << value << " : " << problem;
    };

    const std::span<const SettingKey> keys = settingKeys();
    // The table starts with Debug, which decides what the following lines log.
    const std::string debug = ini.get(keys.front().name);
    const std::string debugProblem = debug.empty() ? std::string() : keys.front().apply(*this, debug);
    applyLogLevel(debugLevel);
    LogLine(6) << "LoadInf : " << settingPath;
    if (!debugPath.empty()) LogLine(6) << "load debug: " << debugPath;
    note(keys.front().name, debug, debugProblem);

    for (const SettingKey& key : keys.subspan(1)) {
        if (const std::string value = ini.get(key.name); !value.empty()) note(key.name, value, key.apply(*this, value));
        if (std::string_view(key.name) != "CPULOW" || cpuLow == 0) continue;
        // Low-power machines: the keys after CPULOW come from section LOW only.
        const uint32_t cores = environment_.coreCount ? environment_.coreCount() : 0;
        if (int64_t{cores} <= int64_t{cpuLow}) {
            ini.select(lowSection);
            lowProfile = true;
            LogLine(6) << "Change Low Profile : " << cores;
        }
    }

    // Names the driver does not read in the sections it reads.
    for (const char* section : {IniFile::globalSection, lowProfile ? lowSection : nullptr}) {
        if (!section || !ini.sections().contains(section)) continue;
        ini.select(section);
        const bool low = std::string_view(section) == lowSection;
        for (const auto& [name, value] : ini.sections().at(section)) {
            const SettingKey* key = findSettingKey(name);
            if ((!key && !isFileManagementKey(name)) || (key && low && !key->lowProfileKey))
                note(name, value, settingProblem(name, value, low));
        }
    }
    return true;
}
