// Hostile settings files: huge lines, values and section names load and read safely.
#include <gtest/gtest.h>

#include "driver/DriverSettings.h"
#include "driver/IniFile.h"
#include "settings/TempFolder.h"

TEST(SettingsBadInput, HugeLinesValuesAndSectionNames) {
    const std::string megabyte(1 << 20, 'v');
    IniFile ini;
    ASSERT_TRUE(ini.parse("k=" + megabyte));   // one line, no line end
    EXPECT_EQ(ini.get("k").size(), megabyte.size());

    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "a.";
    ASSERT_TRUE(ini.parse("[" + deep + "]\nx=1\n"));
    ini.select(deep);
    EXPECT_EQ(ini.get("x"), "1");
    ini.select(deep + "missing");   // base part "a" does not exist either
    EXPECT_EQ(ini.get("x"), "");

    std::string manyLines;
    for (int i = 0; i < 200000; ++i) manyLines += "\r\n";
    EXPECT_TRUE(ini.parse(manyLines + "[" + megabyte));   // an unterminated header of 1 MB
}

TEST(SettingsBadInput, DriverReadsHugeAndBinaryValuesSafely) {
    TempFolder folder;
    std::string findIp;
    for (int i = 0; i < 20000; ++i) findIp += "fe80::1;;junk;";
    const std::string file = "TargetAddress=" + std::string(1 << 20, ':') + ",1\n"
                             "PCMRequest=" + std::string(1 << 20, '9') + "\n"
                             "FindIP=" + findIp + "\n"
                             "CycleTime=-" + std::string(100000, '9') + "\n"
                             "Fragment=\xFF\xFE\xFD\n";
    ASSERT_TRUE(platform::writeFile(folder / "setting.inf", file));
    DriverSettings settings;
    settings.settingPath = folder / "setting.inf";
    ASSERT_TRUE(settings.readKeys());
    EXPECT_EQ(settings.targetAddress, TERNO::Address{});
    EXPECT_EQ(settings.pcmRequest, 2147483647);   // atoi saturates
    EXPECT_EQ(settings.findIP.size(), 20000u);
    EXPECT_EQ(settings.cycleTime, 0x80000000u);   // INT_MIN, non-zero, taken as unsigned
    EXPECT_EQ(settings.fragment, 0);              // not a number: read as 0, which is >= 0

    ASSERT_TRUE(platform::writeFile(folder / "setting.inf", std::string("PCMRequest=16\n\x01")));
    EXPECT_FALSE(settings.readKeys());
    EXPECT_EQ(settings.pcmRequest, 32);
}
