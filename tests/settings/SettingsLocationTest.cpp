// Finding the settings file, the fallback chain, and the refresh from the factory file.
#include <gtest/gtest.h>

#include "driver/DriverSettings.h"
#include "driver/IniFile.h"
#include "settings/TempFolder.h"

namespace {

const char* const factoryText =
    "Version=2\r\nASIOControlPanel=panel.exe\r\nCycleTime=2000\r\n[LOW]\r\nCycleTime=4000\r\n";

// A module folder holding the factory file above and an empty per-user folder.
class SettingsLocation : public ::testing::Test, protected EditorFolders {
protected:
    SettingsLocation() : EditorFolders(factoryText) { platform::createFolder(environment.settingsFolder); }

    void write(const std::string& path, const std::string& text) { ASSERT_TRUE(platform::writeFile(path, text)); }

    DriverSettings load() {
        DriverSettings settings;
        settings.load(environment);
        return settings;
    }
};

}  // namespace

TEST_F(SettingsLocation, PerUserFileRefreshedWhenTheFactoryVersionDiffers) {
    struct Case {
        const char* factory;
        const char* user;
        uint32_t cycleTime;
        bool refreshed;
        bool blocked = false;   // a folder stands where the replacement is written first
    };
    const Case cases[] = {
        {factoryText, "Version=2\r\n; the user's own comment\r\nCycleTime=750\r\n", 750, false},
        {factoryText, "Version=1\r\nCycleTime=750\r\nPhase=Invert\r\n", 2000, true},
        {"ASIOControlPanel=panel.exe\r\nCycleTime=2000\r\n", "CycleTime=750\r\n", 750, false},   // both absent
        {factoryText, "CycleTime=750\r\n", 2000, true},   // absent counts as "", which differs from "2"
        {factoryText, "Version=1\r\nCycleTime=750\r\n", 750, false, true},   // a failed refresh changes nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        write(factoryFile(), c.factory);
        write(userFile(), c.user);
        if (c.blocked) {
            ASSERT_TRUE(platform::createFolder(userFile() + ".new"));
        }
        const DriverSettings s = load();
        EXPECT_EQ(s.settingPath, userFile());
        EXPECT_FALSE(s.readOnlyFallback);
        EXPECT_EQ(s.factoryPath, factoryFile());
        EXPECT_EQ(s.controlPanelPath, environment.moduleFolder + "panel.exe");
        EXPECT_EQ(s.cycleTime, c.cycleTime);
        IniFile written, factory;
        ASSERT_TRUE(written.load(userFile()) && factory.load(factoryFile()));
        if (c.refreshed) {
            EXPECT_TRUE(written.sameContent(factory));
        } else {
            EXPECT_EQ(TempFolder::read(userFile()), c.user);
        }
    }
}

// Without a usable per-user file (missing, or unreadable for a tab) the file SettingPath names
// is read and refreshed like it; without that too, the factory file is read in place. The
// rows run in order, each on what the ones before left.
TEST_F(SettingsLocation, FallbackChain) {
    const std::string elsewhere = folder / "elsewhere.inf";
    const struct {
        std::string user, pathFile, elsewhereText, expectedPath;
        uint32_t cycleTime;
    } cases[] = {
        {"", "", "", factoryFile(), 2000},
        {"", "SettingPath=\r\n", "", factoryFile(), 2000},
        {"", "SettingPath=" + (folder / "nothing.inf") + "\r\n", "", factoryFile(), 2000},
        {"Version=2\r\nCycleTime=\t750\r\n", "", "", factoryFile(), 2000},
        {"", "SettingPath=" + elsewhere + "\r\n", "Version=2\r\nCycleTime=333\r\n", elsewhere, 333},
        {"", "", "Version=0\r\nCycleTime=333\r\n", elsewhere, 2000},   // refreshed
    };
    std::string user = "<missing>";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user + c.pathFile + c.elsewhereText);
        if (!c.pathFile.empty()) write(environment.moduleFolder + "setting_path.inf", c.pathFile);
        if (!c.elsewhereText.empty()) write(elsewhere, c.elsewhereText);
        if (!c.user.empty()) write(userFile(), user = c.user);
        const DriverSettings s = load();
        EXPECT_EQ(s.settingPath, c.expectedPath);
        EXPECT_EQ(s.readOnlyFallback, c.expectedPath == factoryFile());
        EXPECT_EQ(s.cycleTime, c.cycleTime);
        EXPECT_EQ(TempFolder::read(factoryFile()), factoryText);
        EXPECT_EQ(TempFolder::read(userFile()), user);
        if (c.expectedPath == elsewhere) {
            EXPECT_NE(TempFolder::read(elsewhere).find("Version=2"), std::string::npos);
        }
    }
}

TEST_F(SettingsLocation, RelocateTakesTheFirstSavedPerUserFile) {
    DriverSettings s = load();
    ASSERT_TRUE(s.readOnlyFallback);
    EXPECT_FALSE(s.relocate());   // nothing saved yet
    EXPECT_EQ(s.settingPath, factoryFile());

    write(userFile(), "Version=2\r\nCycleTime=750\r\n");   // the settings program saves
    EXPECT_TRUE(s.relocate());
    EXPECT_EQ(s.settingPath, userFile());
    EXPECT_FALSE(s.readOnlyFallback);
    ASSERT_TRUE(s.readKeys());
    EXPECT_EQ(s.cycleTime, 750u);
    EXPECT_FALSE(s.relocate());
}

TEST_F(SettingsLocation, NoFactoryFileAndNoSettingsAtAll) {
    ASSERT_TRUE(platform::removeFile(factoryFile()));
    write(userFile(), "Version=9\r\nCycleTime=750\r\n");
    DriverSettings s = load();
    EXPECT_EQ(s.controlPanelPath, environment.moduleFolder);   // the bare module folder
    EXPECT_EQ(s.cycleTime, 750u);                          // no version check, the file as it was

    ASSERT_TRUE(platform::removeFile(userFile()));
    s = load();
    EXPECT_TRUE(s.readOnlyFallback);
    EXPECT_EQ(s.cycleTime, 1000u);
    EXPECT_FALSE(s.readKeys());
}
