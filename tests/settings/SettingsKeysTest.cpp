// Every key's defaults, range edges, special words and hostile values, read the way the driver reads them.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <tuple>

#include "driver/DriverSettings.h"
#include "driver/SettingsKeys.h"
#include "log/LogLine.h"
#include "log/LogCapture.h"
#include "settings/TempFolder.h"

namespace {

class SettingsKeys : public ::testing::Test {
protected:
    // Reads a settings file holding text, with the given core count.
    DriverSettings read(const std::string& text, uint32_t cores = 8) {
        EXPECT_TRUE(platform::writeFile(folder / "setting.inf", text));
        SettingsEnvironment environment;
        environment.settingsFolder = folder.path();
        environment.moduleFolder = folder.path() + "/module/";   // no factory file
        environment.coreCount = [cores] { return cores; };
        DriverSettings settings;
        settings.locate(environment);
        EXPECT_TRUE(settings.readKeys());
        return settings;
    }
    TempFolder folder;
};

struct Edge {
    const char* line;
    std::function<bool(const DriverSettings&)> holds;
    const char* what;
    const char* problem;   // in what the driver notes about the value; "" when it takes it as written
};

}  // namespace

TEST_F(SettingsKeys, RangeEdgesAndWords) {
    const std::vector<Edge> edges = {
        {"SyncBufferCount=1", [](auto& s) { return s.syncBufferCount == 6; }, "1 keeps 6", "default 6 is used"},
        {"SyncBufferCount=2", [](auto& s) { return s.syncBufferCount == 2; }, "2 is taken", ""},
        {"TargetProfileLimitTime=100", [](auto& s) { return s.targetProfileLimitTime == 0; }, "100 keeps 0", "default 0 is used"},
        {"TargetProfileLimitTime=101", [](auto& s) { return s.targetProfileLimitTime == 101; }, "101 is taken", ""},
        {"ASIOBufferSizeMin=0", [](auto& s) { return s.asioBufferSizeMin == 1; }, "0 keeps 1", "default 1 is used"},
        {"ASIOBufferSize=1", [](auto& s) { return s.asioBufferSize == 1; }, "1 is taken", ""},
        {"ASIOBufferSizeMax=-1", [](auto& s) { return s.asioBufferSizeMax == 16384; }, "negative ignored", "default 16384 is used"},
        {"ASIOBufferSizePre=64", [](auto& s) { return s.asioBufferSizePre == 64; }, "taken", ""},
        {"CycleTime=-5", [](auto& s) { return s.cycleTime == static_cast<uint32_t>(-5); }, "any non-zero", ""},
        {"Fragment=Optimize", [](auto& s) { return s.fragment == 1 && s.fragmentOptimize; }, "flag, number kept", ""},
        {"Fragment=enable", [](auto& s) { return s.fragment == 0 && !s.fragmentOptimize; }, "enable is 0", ""},
        {"Fragment=disable", [](auto& s) { return s.fragment == 1; }, "disable is 1", ""},
        {"Fragment=7", [](auto& s) { return s.fragment == 7; }, "a number", ""},
        {"Fragment=-1", [](auto& s) { return s.fragment == 1; }, "negative ignored", "default 1 is used"},
        {"PCMRequest=24", [](auto& s) { return s.pcmRequest == 24 && !s.convertS32; }, "24, no flag", ""},
        {"PCMRequest=CovertS32", [](auto& s) { return s.pcmRequest == 32 && s.convertS32; }, "32 and flag", ""},
        {"PCMRequest=-1", [](auto& s) { return s.pcmRequest == 32; }, "negative ignored", "default 32 is used"},
        {"StartDelay=2500000", [](auto& s) { return s.startDelay == 2500000; }, "taken", ""},
        {"TargetPO=3", [](auto& s) { return s.targetPO == 3; }, "taken", ""},
        {"Interface=70000", [](auto& s) { return s.interfaceIndex == 4464; }, "16 bits", "4464 is used"},
        {"LatencyBuffer=-3", [](auto& s) { return s.latencyBuffer == 0; }, "negative ignored", "default 0 is used"},
        {"ThredMode=5", [](auto& s) { return s.threadMode == 5u; }, "taken", ""},
        {"ThredMode=-5", [](auto& s) { return s.threadMode == 1u; }, "negative ignored", "default 1 is used"},
        {"InfoCycle=-7", [](auto& s) { return s.infoCycle == -7; }, "no range check", ""},
        {"InfoCycle=12abc", [](auto& s) { return s.infoCycle == 12; }, "leading digits", "reads as 12"},
        {"InfoCycle=abc", [](auto& s) { return s.infoCycle == 0; }, "not a number is 0", "reads as 0"},
        {"InfoCycle=99999999999", [](auto& s) { return s.infoCycle == INT_MAX; }, "saturates", "reads as 2147483647"},
        {"FlexCycle=enable", [](auto& s) { return s.flexCycleVariable && !s.flexCycleFixFix && !s.flexCycleFixAsio; }, "", ""},
        {"FlexCycle=fixfix", [](auto& s) { return !s.flexCycleVariable && s.flexCycleFixFix; }, "", ""},
        {"FlexCycle=fixAsio", [](auto& s) { return s.flexCycleFixAsio && !s.flexCycleFixFix; }, "", ""},
        {"FlexCycle=Enable", [](auto& s) { return !s.flexCycleVariable; }, "case matters", "off is used"},
        {"DSDMSB=enable", [](auto& s) { return s.dsdMsb; }, "", ""},
        {"ASIOBufferMulti=enable", [](auto& s) { return s.asioBufferMulti; }, "", ""},
        {"Phase=Invert", [](auto& s) { return s.phaseInvert; }, "", ""},
        {"NopBreak=enable", [](auto& s) { return !s.nopBreak; }, "small e ignored", "off is used"},
        {"Debug=debug", [](auto& s) { return s.debugLevel == 7; }, "", ""},
        {"Debug=Enable", [](auto& s) { return s.debugLevel == -1; }, "case matters", "logging stays off"},
        {"TargetAddress=fe80::1,49152",
         [](auto& s) { return s.targetAddress.group(0) == 0xfe80 && s.targetAddress.group(7) == 1 &&
                              s.targetAddress.portNumber() == 49152; }, "address and port", ""},
        {"TargetAddress=fe80::1", [](auto& s) { return s.targetAddress == TERNO::Address{}; }, "no comma: cleared", "discovery is used"},
        {"TargetAddress=1:::2,80", [](auto& s) { return s.targetAddress == TERNO::Address{}; }, "not an address", "discovery is used"},
        {"FindIP=fe80::1;;[fe80::2]:7", [](auto& s) { return s.findIP.size() == 2 && s.findIP[0].portNumber() == 19642 && s.findIP[1].portNumber() == 7; }, "Find port unless given", ""},
        {"FindIP=fe80::3;not-an-address;fe80::4;",
         [](auto& s) { return s.findIP.size() == 2 && s.findIP[0].group(7) == 3 && s.findIP[1].group(7) == 4; },
         "bad entries skipped", "\"not-an-address\""},
        {"  CycleTime  =  250  ", [](auto& s) { return s.cycleTime == 250; }, "trimmed", ""},
        {"CycleTime=", [](auto& s) { return s.cycleTime == 1000; }, "empty keeps the default", ""},
    };
    for (const Edge& edge : edges) {
        const DriverSettings settings = read(std::string(edge.line) + "\r\n");
        EXPECT_TRUE(edge.holds(settings)) << edge.line << ": " << edge.what;
        if (*edge.problem == '\0') {
            EXPECT_TRUE(settings.problems.empty()) << edge.line << ": " << settings.problems.front().problem;
        } else {
            EXPECT_EQ(settings.problems.size(), 1u) << edge.line;
            for (const SettingProblem& p : settings.problems)
                EXPECT_NE(p.problem.find(edge.problem), std::string::npos) << edge.line << ": " << p.problem;
        }
    }
    setLogLevel(-1);
}

TEST_F(SettingsKeys, HugeAndBinaryValuesReadSafely) {
    std::string findIp;
    for (int i = 0; i < 20000; ++i) findIp += "fe80::1;;junk;";
    const DriverSettings s = read("TargetAddress=" + std::string(1 << 20, ':') + ",1\n" + "PCMRequest=" +
                                  std::string(1 << 20, '9') + "\nFindIP=" + findIp + "\nCycleTime=-" +
                                  std::string(100000, '9') + "\nFragment=\xFF\xFE\xFD\n");
    EXPECT_EQ(s.targetAddress, TERNO::Address{});
    EXPECT_EQ(s.pcmRequest, 2147483647);   // atoi saturates
    EXPECT_EQ(s.findIP.size(), 20000u);
    EXPECT_EQ(s.cycleTime, 0x80000000u);   // INT_MIN, non-zero, taken as unsigned
    EXPECT_EQ(s.fragment, 0);              // not a number: read as 0, which is >= 0
}

TEST_F(SettingsKeys, LowProfileByCoreCount) {
    // SyncBufferCount is read before CPULOW, so always from global; from CycleTime on keys come
    // from LOW alone (ThredMode, only in global, is then at its default).
    const std::string keys =
        "SyncBufferCount=3\nCycleTime=500\nThredMode=5\n[LOW]\nCycleTime=3000\nSyncBufferCount=9\n";
    const std::tuple<std::string, uint32_t, bool> cases[] = {
        {"CPULOW=4\n", 4, true}, {"CPULOW=4\n", 8, false},
        {"CPULOW=4\n", 0, true},     // an unknown core count counts as 0 cores
        {"CPULOW=0\n", 1, false},    // 0 is off
        {"CPULOW=-1\n", 1, false}};  // 1 core is more than -1
    for (const auto& [cpuLow, cores, low] : cases) {
        SCOPED_TRACE(cpuLow + " cores " + std::to_string(cores));
        const DriverSettings s = read(cpuLow + keys, cores);
        EXPECT_EQ(s.lowProfile, low);
        EXPECT_EQ(s.cycleTime, low ? 3000u : 500u);
        EXPECT_EQ(s.threadMode, low ? 1u : 5u);
        EXPECT_EQ(s.syncBufferCount, 3);
    }
}

TEST_F(SettingsKeys, ProblemsNameTheirFileAndAreLogged) {
    logtest::LogCapture log;
    ASSERT_TRUE(log.ok());
    platform::writeFile(folder / "debug.inf", "Debug=enable\r\nStartDelay=-1\r\n");
    const DriverSettings s = read("PCMRequest=ConvertS32\r\npcmrequest=24\r\nBogus=1\r\nVersion=1\r\nStartDelay=5\r\n"
                                  "CPULOW=8\r\n[LOW]\r\nSyncBufferCount=1\r\nCycleTime=0\r\n", 8);
    const std::string settingFile = folder.path() + "\\setting.inf", debugFile = folder.path() + "\\debug.inf";
    // debug.inf beside the settings file is merged over it (its StartDelay wins) and switches logging on.
    EXPECT_EQ(s.debugPath, debugFile);
    EXPECT_EQ(std::make_pair(s.debugLevel, logLevel()), std::make_pair(6, 6));
    // Other text reads as 0; -1 and 0 leave the defaults.
    EXPECT_EQ(std::tuple(s.pcmRequest, s.convertS32, s.startDelay, s.cycleTime), std::tuple(0, false, 0u, 1000u));
    // In reading order, then the names the driver does not read, section by section.
    const std::tuple<std::string, std::string, std::string, std::string> expected[] = {
        {settingFile, "PCMRequest", "ConvertS32", "(the conversion word is written \"CovertS32\")"},
        {debugFile, "StartDelay", "-1", "the default 0 is used"},
        {settingFile, "CycleTime", "0", "the default 1000 is used"},
        {settingFile, "Bogus", "1", "the driver reads no key named \"Bogus\""},
        {settingFile, "pcmrequest", "24", "did you mean PCMRequest?"},
        {settingFile, "SyncBufferCount", "1", "read from section global only"}};
    ASSERT_EQ(s.problems.size(), std::size(expected));
    for (size_t i = 0; i < s.problems.size(); ++i) {
        const auto& [file, key, value, problem] = expected[i];
        EXPECT_EQ(s.problems[i].file, file);
        EXPECT_EQ(s.problems[i].key, key);
        EXPECT_EQ(s.problems[i].value, value);
        EXPECT_NE(s.problems[i].problem.find(problem), std::string::npos) << s.problems[i].problem;
    }
    EXPECT_TRUE(log.contains("setting " + settingFile + " : [global] PCMRequest=ConvertS32 : \"ConvertS32\" is not a number"));
    EXPECT_TRUE(log.contains("setting " + debugFile + " : [global] StartDelay=-1 : "));
    EXPECT_TRUE(log.contains("setting " + settingFile + " : [LOW] CycleTime=0 : "));
}

TEST(SettingsKeyTable, LowProfileKeysAndWhatApplyReports) {
    // From CycleTime on, keys come from section LOW under the low profile.
    for (const SettingKey& key : settingKeys())
        EXPECT_EQ(key.lowProfileKey, findSettingKey(key.name) >= findSettingKey("CycleTime")) << key.name;
    SettingsKeyValues values;
    EXPECT_EQ(findSettingKey("ASIOBufferSize")->apply(values, "0"), "");   // ignored, but it is the default
    EXPECT_NE(findSettingKey("Interface")->apply(values, "70000"), "");    // taken as 4464, not as written
    EXPECT_EQ(findSettingKey("cycletime"), nullptr);
}

TEST(SettingsNumbers, ReadLikeAtoiAndPlainOnlyWhenAllIsRead) {
    const std::pair<const char*, int32_t> numbers[] = {
        {"  -12x", -12}, {"+5", 5}, {"x5", 0}, {"", 0}, {"2147483647", INT_MAX}, {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN}, {"-99999999999999999999", INT_MIN}};
    for (const auto& [text, number] : numbers) EXPECT_EQ(settingNumber(text), number) << text;
    for (const char* plain : {"-2147483648", "007"}) EXPECT_TRUE(isPlainNumber(plain)) << plain;
    for (const char* notPlain : {"2147483648", "-", " 1", "1e3"}) EXPECT_FALSE(isPlainNumber(notPlain)) << notPlain;
}
