#include "driver/SettingsKeys.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <type_traits>

#include "driver/DriverSettings.h"
#include "find/FindDestination.h"

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

template <typename Field>
std::string shown(Field value) {
    if constexpr (std::is_same_v<Field, bool>) return value ? "on" : "off";
    else return std::to_string(value);
}

// A number as the driver reads it. note explains when the text is not written as a plain
// number, since the driver then reads only its leading digits (or 0).
int32_t readNumber(const std::string& text, std::string& note) {
    const int32_t number = settingNumber(text);
    if (!isPlainNumber(text)) note = quoted(text) + " is not a number: it reads as " + std::to_string(number);
    return number;
}

// Takes the number when inRange. Every note ends in what the driver uses instead; a number
// outside the range that equals the default changes nothing and is no problem either.
template <typename Field, typename InRange>
std::string takeNumber(Field& field, const std::string& text, Field defaultValue, InRange inRange) {
    std::string note;
    const int32_t number = readNumber(text, note);
    if (!inRange(number)) {
        if (int64_t{number} == static_cast<int64_t>(defaultValue) && note.empty()) return {};
        return (note.empty() ? std::to_string(number) : note + ",") + " out of range: the default " +
               shown(defaultValue) + " is used";
    }
    field = static_cast<Field>(number);
    if (note.empty() && static_cast<int64_t>(field) != number && number >= 0)
        return std::to_string(number) + " does not fit: " + shown(field) + " is used";
    return note.empty() ? note : note + ", which is used";
}

std::string takeFlag(bool& field, const std::string& text, const char* word) {
    if (text == word) {
        field = true;
        return {};
    }
    return quoted(text) + " is not " + quoted(word) + " (case matters): off is used";
}

constexpr auto atLeastZero = [](int32_t n) { return n >= 0; };
constexpr auto aboveZero = [](int32_t n) { return n > 0; };
constexpr auto notZero = [](int32_t n) { return n != 0; };

using V = SettingsKeyValues;
const SettingsKeyValues defaults{};

std::string applyDebug(V& v, const std::string& text) {
    if (text == "enable") v.debugLevel = 6;
    else if (text == "debug") v.debugLevel = 7;
    else return quoted(text) + " is neither \"enable\" nor \"debug\": logging stays off";
    return {};
}

std::string applyDsdMsb(V& v, const std::string& text) { return takeFlag(v.dsdMsb, text, "enable"); }

std::string applyPcmRequest(V& v, const std::string& text) {
    if (text == "CovertS32") {
        v.pcmRequest = 32;
        v.convertS32 = true;
        return {};
    }
    std::string note = takeNumber(v.pcmRequest, text, defaults.pcmRequest, atLeastZero);
    if (!note.empty() && !isPlainNumber(text)) note += " (the conversion word is written \"CovertS32\")";
    return note;
}

std::string applyStartDelay(V& v, const std::string& text) {
    return takeNumber(v.startDelay, text, defaults.startDelay, atLeastZero);
}

std::string applyTargetAddress(V& v, const std::string& text) {
    if (text.find(',') == std::string::npos) {
        v.targetAddress = TERNO::Address{};
        return "no \",\" and port after the address: no fixed target, discovery is used";
    }
    if (!v.targetAddress.parseWithPort(text)) {
        v.targetAddress = TERNO::Address{};
        return quoted(text) + " is not an IPv6 address with a port: no fixed target, discovery is used";
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
            if (VELMORA::parseFindDestination(piece, address)) v.findIP.push_back(address);
            else skipped += (skipped.empty() ? "" : ", ") + quoted(piece);
        }
        start = end + 1;
    }
    return skipped.empty() ? std::string()
                           : "not addresses (fe80::1, fe80::1%12 or [fe80::1]:19642), skipped: " + skipped +
                                 "; the others are used";
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
    if (number == 0) return (note.empty() ? "0" : note + ",") + " out of range: the default 1000 is used";
    v.cycleTime = static_cast<uint32_t>(number);   // any non-zero value, a negative one wrapping
    return note.empty() ? note : note + ", which is used";
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
    return note.empty() ? note : note + ", which is used";
}

std::string applyFlexCycle(V& v, const std::string& text) {
    if (text == "enable") v.flexCycleVariable = true;
    else if (text == "fixfix") v.flexCycleFixFix = true;
    else if (text == "fixAsio") v.flexCycleFixAsio = true;
    else return quoted(text) + " is none of \"enable\", \"fixfix\", \"fixAsio\" (case matters): off is used";
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
    {"Debug", "Writes the driver's log (UDP to [::1]:19640); may also stand in debug.inf", "(off)",
     "\"enable\" (log level 6) or \"debug\" (log level 7)", false, applyDebug},
    {"DSDMSB", "The host delivers DSD with the first sample in the top bit of each byte", "(off)", "\"enable\"",
     false, applyDsdMsb},
    {"PCMRequest", "Preferred PCM sample width in bits when the sink offers several", "32",
     "a number >= 0 (bits), or \"CovertS32\": 32-bit integers from the host, converted to what the sink takes",
     false, applyPcmRequest},
    {"StartDelay", "Playback begins no earlier than StartDelay / 1000 + 10 ms after start", "0",
     "a number >= 0 (microseconds)", false, applyStartDelay},
    {"TargetAddress", "A fixed sink instead of discovery (only its address is used to find it)", "(none)",
     "an IPv6 address, a comma and a port, e.g. fe80::1,49152", false, applyTargetAddress},
    {"TargetPO", "Output of the sink at TargetAddress, counted from 1", "0",
     "a number >= 0 (output index counted from 1)", false, applyTargetPO},
    {"FindIP", "Sinks asked directly during discovery, besides the multicast to every link", "(none)",
     "addresses separated by \";\": fe80::1, fe80::1%12 (interface index), [fe80::1]:19642 (port)", false,
     applyFindIP},
    {"ASIOBufferSize", "Fixes the ASIO buffer size that hosts are offered", "0",
     "a number > 0 (frames); 0 leaves the size free", false, applyBufferSize},
    {"ASIOBufferSizeMin", "Smallest ASIO buffer size offered", "1", "a number > 0 (frames)", false,
     applyBufferSizeMin},
    {"ASIOBufferSizeMax", "Largest ASIO buffer size offered", "16384", "a number > 0 (frames)", false,
     applyBufferSizeMax},
    {"ASIOBufferSizePre", "Preferred ASIO buffer size", "512", "a number > 0 (frames)", false, applyBufferSizePre},
    {"SyncBufferCount", "Blocks of audio held between the host and the network", "6", "a number >= 2 (blocks)",
     false, applySyncBufferCount},
    {"CPULOW", "Low-power profile: on machines with at most this many cores the keys below come from [LOW]",
     "0", "a number of cores (not 0): at most that many cores reads section [LOW]", false, applyCpuLow},
    {"CycleTime", "Time between two bursts of packets", "1000", "a number other than 0 (microseconds)", true,
     applyCycleTime},
    {"TargetProfileLimitTime", "When set, the transfer profile is chosen automatically within this time", "0",
     "a number > 100 (microseconds)", true, applyProfileLimit},
    {"Fragment", "Packets per cycle: a limit, or Optimize for the automatic fixed or variable methods", "1",
     "\"disable\" (1), \"enable\" (0), \"Optimize\", or a number >= 0", true, applyFragment},
    {"ThredMode", "Thread mode bits of the streaming worker", "1", "a number >= 0 (thread mode bits)", true,
     applyThreadMode},
    {"InfoCycle", "Period of the information exchange with the sink", "100000", "any number (microseconds)", true,
     applyInfoCycle},
    {"FlexCycle", "Variable cycle, fixed-size datagrams, or a cycle from the ASIO buffer size", "(off)",
     "\"enable\", \"fixfix\" or \"fixAsio\"", true, applyFlexCycle},
    {"ASIOBufferMulti", "Scales the stream buffer with the sample rate", "(off)", "\"enable\"", true,
     applyBufferMulti},
    {"Interface", "Interface index that discovery uses", "0", "a number >= 0 (interface index; 0: all)", true,
     applyInterface},
    {"LatencyBuffer", "Latency asked of the sink", "0", "a number >= 0 (microseconds)", true, applyLatencyBuffer},
    {"Phase", "Inverts the polarity of the audio", "(normal)", "\"Invert\"", true, applyPhase},
    {"NopBreak", "Probes each sink before asking for its outputs and session; a sink that answers the probe is not used", "(off)", "\"Enable\" (capital E)", true,
     applyNopBreak},
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

std::string settingProblem(std::string_view name, const std::string& value, bool lowSection) {
    const SettingKey* key = findSettingKey(name);
    if (!key) {
        if (name == "Version")
            return "Version belongs to the factory file: when the two differ the driver replaces this file with "
                   "the factory settings";
        if (isFileManagementKey(name)) return std::string(name) + " is read only from the files beside the driver";
        auto lower = [](std::string_view text) {
            std::string out(text);
            std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
            return out;
        };
        const std::string unknown = "the driver reads no key named " + quoted(name);
        for (const SettingKey& known : keys)
            if (lower(known.name) == lower(name))
                return unknown + " (names are case-sensitive): did you mean " + known.name + "?";
        return unknown;
    }
    if (lowSection && !key->lowProfileKey)
        return std::string(name) + " is read from section global only; section LOW holds the keys from CycleTime on";
    for (unsigned char c : value)
        if (c < 0x20) return "control characters (tabs included) make the driver ignore the whole file";
    if (value.empty()) return {};
    SettingsKeyValues scratch;
    return key->apply(scratch, value);
}
