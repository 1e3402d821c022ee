#pragma once
// The driver's settings: where its settings files lie, and one field per key.
//
// Files: the per-user "setting.inf" in the settings folder (roaming application data +
// "\TOLVENIK Velmora"); beside the module the read-only factory file "setting_org.inf" and
// "setting_path.inf" (key SettingPath: another settings file to use when the per-user one is
// missing); "debug.inf" beside the settings file in use. When the factory file's Version
// differs from the per-user file's, the per-user file is overwritten with the factory content.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "terno/Address.h"

// Where the settings code looks, and what it asks of the machine. The driver and the
// settings program take it from the system; tests give their own folders and core counts.
struct SettingsEnvironment {
    std::string settingsFolder;              // holds "setting.inf"; no trailing separator
    std::string moduleFolder;                // holds the factory files; ends in a separator
    std::function<uint32_t()> coreCount;     // processor cores, 0 when unknown

    // Roaming application data + "\TOLVENIK Velmora", this module's folder, the real core count.
    static SettingsEnvironment system();
};

// The values of the keys, each at its default.
struct SettingsKeyValues {
    int32_t debugLevel = -1;              // Debug: 6 "enable", 7 "debug"; -1 when not set
    bool dsdMsb = false;                  // DSDMSB
    int32_t pcmRequest = 32;              // PCMRequest
    bool convertS32 = false;              // PCMRequest "CovertS32": the 32-bit conversion flag
    uint32_t startDelay = 0;              // StartDelay, microseconds
    TERNO::Address targetAddress{};       // TargetAddress (all zero: no fixed target)
    uint16_t targetPO = 0;                // TargetPO, output index counted from 1
    std::vector<TERNO::Address> findIP;   // FindIP, extra discovery destinations
    int32_t asioBufferSize = 0;           // ASIOBufferSize (0: not fixed)
    int32_t asioBufferSizeMin = 1;        // ASIOBufferSizeMin
    int32_t asioBufferSizeMax = 16384;    // ASIOBufferSizeMax
    int32_t asioBufferSizePre = 512;      // ASIOBufferSizePre
    int32_t syncBufferCount = 6;          // SyncBufferCount
    int32_t cpuLow = 0;                   // CPULOW (0: off)
    bool lowProfile = false;              // the keys from CycleTime on came from section "LOW"
    uint32_t cycleTime = 1000;            // CycleTime, microseconds
    int32_t targetProfileLimitTime = 0;   // TargetProfileLimitTime, microseconds (0: off)
    uint16_t fragment = 1;                // Fragment: packet-count limit per cycle
    bool fragmentOptimize = false;        // Fragment "Optimize": FixAuto/VarAuto
    uint32_t threadMode = 1;              // ThredMode bit set
    int32_t infoCycle = 100000;           // InfoCycle, microseconds
    bool flexCycleVariable = false;       // FlexCycle "enable": Var/VarAuto
    bool flexCycleFixFix = false;         // FlexCycle "fixfix": fixed-size datagrams
    bool flexCycleFixAsio = false;        // FlexCycle "fixAsio": VarASIO
    bool asioBufferMulti = false;         // ASIOBufferMulti
    uint16_t interfaceIndex = 0;          // Interface (0: all interfaces)
    int32_t latencyBuffer = 0;            // LatencyBuffer, microseconds
    bool phaseInvert = false;             // Phase "Invert"
    bool nopBreak = false;                // NopBreak "Enable"
};

// A value the driver does not take as written.
struct SettingProblem {
    std::string file;      // the settings file, or debug.inf when the value stands there
    std::string section;   // "global" or "LOW"
    std::string key;
    std::string value;
    std::string problem;   // what is wrong, ending in what the driver uses instead
};

class DriverSettings : public SettingsKeyValues {
public:
    static constexpr const char* settingsFileName = "setting.inf";
    static constexpr const char* factoryFileName = "setting_org.inf";
    static constexpr const char* pathFileName = "setting_path.inf";
    static constexpr const char* debugFileName = "debug.inf";
    static constexpr const char* lowSection = "LOW";

    std::string settingPath;        // the file the keys are read from
    std::string factoryPath;        // module folder + "setting_org.inf"
    std::string controlPanelPath;   // module folder + ASIOControlPanel of the factory file
    bool readOnlyFallback = false;  // settingPath is the factory file, read in place
    std::string debugPath;          // the "debug.inf" taken by the last readKeys, or empty
    // What the last readKeys did not take as written (each also logged at severity 4), in
    // reading order, then unknown keys.
    std::vector<SettingProblem> problems;

    // What the driver does at construction: locate, then read the keys, then log the factory
    // path and the driver version.
    void load(const SettingsEnvironment& environment);

    // Finds the settings file (per-user file, else SettingPath of "setting_path.inf", else the
    // factory file read-only), takes the control-panel path from the factory file, and
    // refreshes the per-user file when the factory Version differs. Remembers the core count
    // source for readKeys.
    void locate(const SettingsEnvironment& environment);

    // Locates the settings file again with the environment of the last locate; true when
    // that is now another file (a settings program saved the first per-user file of a
    // driver that was reading the factory file in place).
    bool relocate();

    // Sets every key to its default and reads the keys from settingPath (and "debug.inf"
    // beside it), noting each value it does not take as written in problems. False when
    // settingPath cannot be loaded: the defaults then stay.
    bool readKeys();

    void resetToDefaults() { static_cast<SettingsKeyValues&>(*this) = SettingsKeyValues{}; }

private:
    SettingsEnvironment environment_;
};
