#include "driver/SettingsKeys.h"

#include <climits>

#include "driver/DriverSettings.h"

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A number as the driver reads it. note explains when the text is not written as a plain
// number, since the driver then reads only its leading digits (or 0).
int32_t readNumber(const std::string& text, std::string& note) {
    const int32_t number = settingNumber(text);
    if (!isPlainNumber(text)) note = quoted(text) + " is not a plain number: it is read as " + std::to_string(number);
    return number;
}

// Takes the number when inRange; a number outside the range that equals the default changes
// nothing and is no problem either.
template <typename Field, typename InRange>
std::string takeNumber(Field& field, const std::string& text, Field defaultValue, InRange inRange) {
    std::string note;
    const int32_t number = readNumber(text, note);
    if (!inRange(number)) {
        if (int64_t{number} == static_cast<int64_t>(defaultValue) && note.empty()) return {};
        return note.empty() ? std::to_string(number) + " is out of range" : note + ", out of range";
    }
    field = static_cast<Field>(number);
    if (note.empty() && static_cast<int64_t>(field) != number && number >= 0)
        note = std::to_string(number) + " does not fit: it is read as " + std::to_string(field);
    return note;
}

std::string takeFlag(bool& field, const std::string& text, const char* word) {
    if (text == word) {
        field = true;
        return {};
    }
    return quoted(text) + " is not " + quoted(word) + " (case matters)";
}

constexpr auto atLeastZero = [](int32_t n) { return n >= 0; };
constexpr auto aboveZero = [](int32_t n) { return n > 0; };
constexpr auto notZero = [](int32_t n) { return n != 0; };

using V = SettingsKeyValues;
const SettingsKeyValues defaults{};

std::string applyDebug(V& v, const std::string& text) {
    if (text == "enable") v.debugLevel = 6;
    else if (text == "debug") v.debugLevel = 7;
    else return quoted(text) + " is neither \"enable\" nor \"debug\"";
    return {};
}

std::string applyDsdMsb(V& v, const std::string& text) { return takeFlag(v.dsdMsb, text, "enable"); }

std::string applyPcmRequest(V& v, const std::string& text) {
    if (text == "CovertS32") {
        v.pcmRequest = 32;
        v.convertS32 = true;
        return {};
    }
    return takeNumber(v.pcmRequest, text, defaults.pcmRequest, atLeastZero);
}

std::string applyStartDelay(V& v, const std::string& text) {
    return takeNumber(v.startDelay, text, defaults.startDelay, atLeastZero);
}

std::string applyTargetAddress(V& v, const std::string& text) {
    if (text.find(',') == std::string::npos) {
        v.targetAddress = TERNO::Address{};
        return "no \",\" and port after the address: the target address is cleared";
    }
    if (!v.targetAddress.parseWithPort(text)) {
        v.targetAddress = TERNO::Address{};
        return quoted(text) + " is not an IPv6 address with a port: the target address is cleared";
    }
    return {};
}

std::string applyTargetPO(V& v, const std::string& text) {
    return takeNumber(v.targetPO, text, defaults.targetPO, atLeastZero);
}

std::string applyFindIP(V& v, const std::string& text) {
    std::string skipped;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string piece = text.substr(start, end - start);
        if (!piece.empty()) {
            TERNO::Address address{};
            if (address.parse(piece)) v.findIP.push_back(address);
            else skipped += (skipped.empty() ? "" : ", ") + quoted(piece);
        }
        start = end + 1;
    }
    return skipped.empty() ? std::string() : "not IPv6 addresses, skipped: " + skipped;
}

std::string applyBufferSize(V& v, const std::string& text) {
    return takeNumber(v.asioBufferSize, text, defaults.asioBufferSize, aboveZero);
}
std::string applyBufferSizeMin(V& v, const std::string& text) {
    return takeNumber(v.asioBufferSizeMin, text, defaults.asioBufferSizeMin, aboveZero);
}
std::string applyBufferSizeMax(V& v, const std::string& text) {
    return takeNumber(v.asioBufferSizeMax, text, defaults.asioBufferSizeMax, aboveZero);
}
std::string applyBufferSizePre(V& v, const std::string& text) {
    return takeNumber(v.asioBufferSizePre, text, defaults.asioBufferSizePre, aboveZero);
}

std::string applySyncBufferCount(V& v, const std::string& text) {
    return takeNumber(v.syncBufferCount, text, defaults.syncBufferCount, [](int32_t n) { return n >= 2; });
}

std::string applyCpuLow(V& v, const std::string& text) {
    return takeNumber(v.cpuLow, text, defaults.cpuLow, notZero);
}

std::string applyCycleTime(V& v, const std::string& text) {
    std::string note;
    const int32_t number = readNumber(text, note);
    if (number == 0) return note.empty() ? std::string() : note + ", and 0 is not taken";
    v.cycleTime = static_cast<uint32_t>(number);   // any non-zero value, a negative one wrapping
    return note;
}

std::string applyProfileLimit(V& v, const std::string& text) {
    return takeNumber(v.targetProfileLimitTime, text, defaults.targetProfileLimitTime,
                      [](int32_t n) { return n > 100; });
}

std::string applyFragment(V& v, const std::string& text) {
    if (text == "disable") v.fragment = 1;
    else if (text == "enable") v.fragment = 0;
    else if (text == "Optimize") v.fragmentOptimize = true;
    else return takeNumber(v.fragment, text, defaults.fragment, atLeastZero);
    return {};
}

std::string applyThreadMode(V& v, const std::string& text) {
    return takeNumber(v.threadMode, text, defaults.threadMode, atLeastZero);
}

std::string applyInfoCycle(V& v, const std::string& text) {
    std::string note;
    v.infoCycle = readNumber(text, note);
    return note;
}

std::string applyFlexCycle(V& v, const std::string& text) {
    if (text == "enable") v.flexCycleVariable = true;
    else if (text == "fixfix") v.flexCycleFixFix = true;
    else if (text == "fixAsio") v.flexCycleFixAsio = true;
    else return quoted(text) + " is none of \"enable\", \"fixfix\", \"fixAsio\"";
    return {};
}

std::string applyBufferMulti(V& v, const std::string& text) { return takeFlag(v.asioBufferMulti, text, "enable"); }

std::string applyInterface(V& v, const std::string& text) {
    return takeNumber(v.interfaceIndex, text, defaults.interfaceIndex, atLeastZero);
}

std::string applyLatencyBuffer(V& v, const std::string& text) {
    return takeNumber(v.latencyBuffer, text, defaults.latencyBuffer, atLeastZero);
}

std::string applyPhase(V& v, const std::string& text) { return takeFlag(v.phaseInvert, text, "Invert"); }

std::string applyNopBreak(V& v, const std::string& text) { return takeFlag(v.nopBreak, text, "Enable"); }

constexpr SettingKey keys[] = {
    {"Debug", "(off)", "\"enable\" (log level 6) or \"debug\" (log level 7)", false, applyDebug},
    {"DSDMSB", "(off)", "\"enable\": DSD from the host with the first sample in the top bit", false, applyDsdMsb},
    {"PCMRequest", "32", "a number >= 0 (bits), or \"CovertS32\"", false, applyPcmRequest},
    {"StartDelay", "0", "a number >= 0 (microseconds)", false, applyStartDelay},
    {"TargetAddress", "(none)", "an IPv6 address, a comma and a port, e.g. fe80::1,49152", false, applyTargetAddress},
    {"TargetPO", "0", "a number >= 0 (output index counted from 1)", false, applyTargetPO},
    {"FindIP", "(none)", "IPv6 addresses separated by \";\"", false, applyFindIP},
    {"ASIOBufferSize", "0", "a number > 0 (frames); 0 leaves the size free", false, applyBufferSize},
    {"ASIOBufferSizeMin", "1", "a number > 0 (frames)", false, applyBufferSizeMin},
    {"ASIOBufferSizeMax", "16384", "a number > 0 (frames)", false, applyBufferSizeMax},
    {"ASIOBufferSizePre", "512", "a number > 0 (frames)", false, applyBufferSizePre},
    {"SyncBufferCount", "6", "a number >= 2 (blocks)", false, applySyncBufferCount},
    {"CPULOW", "0", "a number of cores (not 0): at most that many cores reads section [LOW]", false, applyCpuLow},
    {"CycleTime", "1000", "a number other than 0 (microseconds)", true, applyCycleTime},
    {"TargetProfileLimitTime", "0", "a number > 100 (microseconds)", true, applyProfileLimit},
    {"Fragment", "1", "\"disable\" (1), \"enable\" (0), \"Optimize\", or a number >= 0", true, applyFragment},
    {"ThredMode", "1", "a number >= 0 (thread mode bits)", true, applyThreadMode},
    {"InfoCycle", "100000", "any number (microseconds)", true, applyInfoCycle},
    {"FlexCycle", "(off)", "\"enable\", \"fixfix\" or \"fixAsio\"", true, applyFlexCycle},
    {"ASIOBufferMulti", "(off)", "\"enable\"", true, applyBufferMulti},
    {"Interface", "0", "a number >= 0 (interface index; 0: all)", true, applyInterface},
    {"LatencyBuffer", "0", "a number >= 0 (microseconds)", true, applyLatencyBuffer},
    {"Phase", "(normal)", "\"Invert\"", true, applyPhase},
    {"NopBreak", "(off)", "\"Enable\" (capital E)", true, applyNopBreak},
};

}  // namespace

std::span<const SettingKey> settingKeys() { return keys; }

const SettingKey* findSettingKey(std::string_view name) {
    for (const SettingKey& key : keys) {
        if (name == key.name) return &key;
    }
    return nullptr;
}

bool isFileManagementKey(std::string_view name) {
    return name == "Version" || name == "SettingPath" || name == "ASIOControlPanel";
}

int32_t settingNumber(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > int64_t{INT_MAX} + 1) value = int64_t{INT_MAX} + 1;   // saturated; keeps going
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(value);
}

bool isPlainNumber(std::string_view text) {
    size_t at = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (at == text.size()) return false;
    for (size_t i = at; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    // Beyond the 32-bit range the number saturates, and then the text no longer reads back.
    const int32_t number = settingNumber(text);
    if (number != INT_MAX && number != INT_MIN) return true;
    return text.size() <= 11 && std::to_string(number) == text;
}
