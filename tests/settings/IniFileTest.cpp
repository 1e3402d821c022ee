#include <gtest/gtest.h>

#include "driver/IniFile.h"
#include "settings/TempFolder.h"

namespace {

IniFile parsed(std::string_view text) {
    IniFile ini;
    EXPECT_TRUE(ini.parse(text));
    return ini;
}

std::string valueIn(const IniFile& ini, const std::string& section, const std::string& key) {
    auto found = ini.sections().find(section);
    if (found == ini.sections().end()) return "<no section>";
    auto value = found->second.find(key);
    return value == found->second.end() ? "<no key>" : value->second;
}

}  // namespace

TEST(IniFileSyntax, LineEndsByteOrderMarkAndLastLine) {
    const IniFile ini = parsed("\xEF\xBB\xBF" "a=1\rb=2\nc=3\r\n\r\n\n[s]\r\nd=4");
    EXPECT_EQ(valueIn(ini, "global", "a"), "1");   // the mark is not part of the first key
    EXPECT_EQ(valueIn(ini, "global", "b"), "2");
    EXPECT_EQ(valueIn(ini, "global", "c"), "3");
    EXPECT_EQ(valueIn(ini, "s", "d"), "4");
    EXPECT_EQ(ini.sections().size(), 2u);
}

TEST(IniFileSyntax, TrimmingCommentsAndIgnoredLines) {
    const IniFile ini = parsed(
        "   key   =   the value   \n"
        ";comment=1\n"
        "   #also=1\n"
        "no equals sign\n"
        "x=a=b\n"
        "mid;semicolon=kept\n"
        "empty=\n");
    EXPECT_EQ(valueIn(ini, "global", "key"), "the value");
    EXPECT_EQ(valueIn(ini, "global", "x"), "a=b");
    EXPECT_EQ(valueIn(ini, "global", "mid;semicolon"), "kept");
    EXPECT_EQ(valueIn(ini, "global", "empty"), "");
    EXPECT_EQ(valueIn(ini, "global", ";comment"), "<no key>");
    EXPECT_EQ(valueIn(ini, "global", "#also"), "<no key>");
    EXPECT_EQ(ini.sections().at("global").size(), 4u);
}

TEST(IniFileSyntax, SectionHeaders) {
    const IniFile ini = parsed(
        "a=1\n"
        "  [  LOW  ]   \n"
        "b=2\n"
        "[broken\n"            // no closing bracket: ignored, LOW stays current
        "c=3\n"
        "[Low]\n"              // names are case-sensitive
        "d=4\n");
    EXPECT_EQ(valueIn(ini, "LOW", "b"), "2");
    EXPECT_EQ(valueIn(ini, "LOW", "c"), "3");
    EXPECT_EQ(valueIn(ini, "Low", "d"), "4");
    EXPECT_EQ(ini.sections().count("broken"), 0u);
    EXPECT_EQ(ini.sections().count("[broken"), 0u);
}

TEST(IniFileSyntax, ControlByteFailsTheWholeLoadAndKeepsWhatWasThere) {
    IniFile ini = parsed("keep=1\n");
    EXPECT_FALSE(ini.parse("new=1\nbad=\tvalue\n"));
    EXPECT_FALSE(ini.parse(std::string("a=1\n\0", 5)));
    EXPECT_FALSE(ini.parse("\x1b[0m=1"));
    EXPECT_EQ(valueIn(ini, "global", "keep"), "1");
    EXPECT_EQ(valueIn(ini, "global", "new"), "<no key>");
    EXPECT_TRUE(ini.parse("utf8=\xC3\xBC\x7F\n"));   // bytes from 0x20 up are text
    EXPECT_EQ(valueIn(ini, "global", "utf8"), "\xC3\xBC\x7F");
}

TEST(IniFileSyntax, RepeatedKeysAndMergeOfASecondFile) {
    IniFile ini = parsed("a=1\na=2\n[s]\nb=1\n");
    EXPECT_EQ(valueIn(ini, "global", "a"), "2");
    ASSERT_TRUE(ini.parse("a=3\nz=9\n[s]\nc=5\n[t]\nd=6\n"));
    EXPECT_EQ(valueIn(ini, "global", "a"), "3");
    EXPECT_EQ(valueIn(ini, "global", "z"), "9");
    EXPECT_EQ(valueIn(ini, "s", "b"), "1");
    EXPECT_EQ(valueIn(ini, "s", "c"), "5");
    EXPECT_EQ(valueIn(ini, "t", "d"), "6");
}

TEST(IniFileSelect, DottedNamesAndMissingSections) {
    IniFile ini = parsed("k=global\n[LOW]\nk=low\nonlyLow=1\n[LOW.fast]\nk=fast\n");
    EXPECT_EQ(ini.get("k"), "global");
    ini.select("LOW");
    EXPECT_EQ(ini.get("k"), "low");
    ini.select("LOW.fast");
    EXPECT_EQ(ini.get("k"), "fast");
    EXPECT_EQ(ini.get("onlyLow"), "");      // the full-name section wins as a whole
    ini.select("LOW.slow");                 // no such section: the base part is used
    EXPECT_EQ(ini.get("k"), "low");
    ini.select("HIGH");                     // no dot, no section: nothing is found
    EXPECT_EQ(ini.get("k"), "");
    ini.select("HIGH.x");
    EXPECT_EQ(ini.get("k"), "");
    ini.select("");
    EXPECT_EQ(ini.get("k"), "global");

    IniFile later;                          // a selection made before the section exists
    later.select("LOW");
    ASSERT_TRUE(later.parse("[LOW]\nk=later\n"));
    EXPECT_EQ(later.get("k"), "later");
}

TEST(IniFileFiles, SaveWritesCrLfWithoutEmptyValuesAndLoadsBack) {
    TempFolder folder;
    IniFile ini = parsed("a=1\nempty=\n[LOW]\nb=two words\n");
    const std::string path = folder / "saved.inf";
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(TempFolder::read(path), "[LOW]\r\nb=two words\r\n[global]\r\na=1\r\n");

    IniFile loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(loaded.path(), path);
    IniFile expected = parsed("a=1\n[LOW]\nb=two words\n");
    EXPECT_TRUE(loaded.sameContent(expected));
    EXPECT_FALSE(loaded.sameContent(ini));   // ini still holds the empty key

    IniFile copy;
    copy.assign(loaded);
    EXPECT_TRUE(copy.sameContent(loaded));
}

TEST(IniFileFiles, MissingOrUnreadableFileFailsAndKeepsPath) {
    TempFolder folder;
    IniFile ini;
    ASSERT_TRUE(platform::writeFile(folder / "good.inf", "a=1"));
    ASSERT_TRUE(ini.load(folder / "good.inf"));
    EXPECT_FALSE(ini.load(folder / "missing.inf"));
    EXPECT_FALSE(ini.load(folder.path()));   // a folder is not a file
    ASSERT_TRUE(platform::writeFile(folder / "tab.inf", "b=1\n\tc=2\n"));
    EXPECT_FALSE(ini.load(folder / "tab.inf"));
    EXPECT_EQ(ini.path(), folder / "good.inf");
    EXPECT_EQ(ini.get("a"), "1");
    EXPECT_EQ(ini.get("b"), "");
}
