// The settings program's editing: refusals, the file it writes, reset, fallback creation.
#include <gtest/gtest.h>

#include <sstream>

#include "SettingsConsole.h"
#include "SettingsEditor.h"
#include "settings/TempFolder.h"

namespace {

class SettingsEditing : public ::testing::Test, protected EditorFolders {
protected:
    SettingsEditing() : EditorFolders("Version=5\r\nASIOControlPanel=velmora-settings.exe\r\nCycleTime=1000\r\n") {}
    // Opening makes the per-user file from the factory file.
    void SetUp() override { ASSERT_TRUE(editor.open(error)) << error; }
    SettingsEditor editor{environment};
    std::string error;
};

}  // namespace

TEST_F(SettingsEditing, AcceptedValuesReachTheDriver) {
    EXPECT_EQ(editor.set("SyncBufferCount", "  2 ", false), "");
    EXPECT_EQ(editor.set("NopBreak", "Enable", false), "");
    EXPECT_EQ(editor.set("CPULOW", "4", false), "");
    EXPECT_EQ(editor.set("CycleTime", "3000", true), "");
    EXPECT_EQ(editor.set("CycleTime", "", false), "");   // back to the default

    // The driver takes the file the editor made from the factory file, version check passed.
    DriverSettings driver;
    driver.load(environment);
    EXPECT_EQ(driver.syncBufferCount, 2);
    EXPECT_FALSE(driver.nopBreak);   // set in global, but this 4-core machine reads LOW
    EXPECT_TRUE(driver.lowProfile);
    EXPECT_EQ(driver.cycleTime, 3000u);
    EXPECT_EQ(TempFolder::read(userFile()).find("CycleTime=1000"), std::string::npos);
    EXPECT_EQ(editor.set("NopBreak", "Enable", true), "");
    EXPECT_TRUE(editor.effective().nopBreak);
    ASSERT_FALSE(editor.notes().empty());
    EXPECT_NE(editor.notes().front().find("section LOW"), std::string::npos);
}

TEST_F(SettingsEditing, RefusesWhatTheDriverWouldIgnore) {
    const std::string before = TempFolder::read(userFile());
    // What the key table notes (every key's notes are the key table test's), names it does not
    // read or does not let the editor change, and control characters.
    const std::pair<const char*, const char*> refused[] = {{"SyncBufferCount", "1"}, {"InfoCycle", "12abc"},
        {"cycletime", "5"}, {"Version", "6"}, {"Phase", "tab\there"}, {"NoSuchKey", "1"}};
    for (const auto& [key, value] : refused) EXPECT_NE(editor.set(key, value, false), "") << key << "=" << value;
    EXPECT_NE(editor.set("SyncBufferCount", "3", true), "");   // not read from LOW
    EXPECT_NE(editor.set("cycletime", "5", false).find("CycleTime"), std::string::npos);
    EXPECT_EQ(TempFolder::read(userFile()), before);
}

TEST_F(SettingsEditing, ResetAndAnUnreadableFile) {
    platform::writeFile(userFile(), "Version=5\r\nCycleTime=\t7\r\n");
    SettingsEditor editor(environment);
    EXPECT_FALSE(editor.open(error));   // never overwritten behind the user's back
    EXPECT_NE(error.find("control character"), std::string::npos);
    EXPECT_EQ(editor.reset(), "");
    EXPECT_TRUE(userFileIsFactory());
}

TEST_F(SettingsEditing, InteractiveSession) {
    std::istringstream in("Fragment=Optimize\r\nset low ThredMode 3\nset Phase invert\nbogus\nlist low\nquit\nset Phase Invert\n");
    std::ostringstream out;
    EXPECT_EQ(runInteractive(editor, in, out), 0);
    const std::string text = out.str();
    EXPECT_NE(text.find("refused: "), std::string::npos);
    EXPECT_NE(text.find("unknown command \"bogus\""), std::string::npos);
    EXPECT_NE(text.find("[LOW]"), std::string::npos);
    IniFile written;
    ASSERT_TRUE(written.load(userFile()));
    EXPECT_EQ(written.get("Fragment"), "Optimize");
    EXPECT_EQ(written.get("Phase"), "");   // refused, and the line after quit never ran
    written.select("LOW");
    EXPECT_EQ(written.get("ThredMode"), "3");
}

TEST_F(SettingsEditing, CheckListsWhatTheDriverWouldNotTake) {
    struct Case {
        std::string file;   // the per-user file; empty: none
        int status;
        std::vector<std::string> lines;   // each in the output
    };
    const Case cases[] = {
        {"", 0, {"setting_org.inf: every value is taken as written"}},
        {"Version=5\r\nFragment=abc\r\nPhase=invert\r\n", 1,
         {"setting.inf: Fragment=abc: \"abc\" is not a number: it reads as 0, which is used",
          "setting.inf: Phase=invert: \"invert\" is not \"Invert\" (case matters): off is used"}},
        {"Version=5\r\nCycleTime=\t7\r\n", 1, {"setting.inf: cannot be read", "reads " + environment.moduleFolder}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        platform::removeFile(userFile());
        if (!c.file.empty()) platform::writeFile(userFile(), c.file);
        std::ostringstream out;
        EXPECT_EQ(checkSettings(environment, out), c.status);
        for (const std::string& line : c.lines) EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
    }
}
