#include <gtest/gtest.h>

#include "driver/IniFile.h"
#include "settings/TempFolder.h"

namespace {

// Every section and key as "[section]key=value|...", empty values included.
std::string contentOf(const IniFile& ini) {
    std::string out;
    for (const auto& [name, keys] : ini.sections()) {
        out += "[" + name + "]";
        for (const auto& [key, value] : keys) out += key + "=" + value + "|";
    }
    return out;
}

TEST(IniFileSyntax, WhatEachKindOfLineContributes) {
    const std::pair<std::string, std::string> cases[] = {
        // The byte-order mark is not part of the first key; CR, LF and CR LF end lines; the
        // last line needs no end.
        {"\xEF\xBB\xBF" "a=1\rb=2\nc=3\r\n\r\n\n[s]\r\nd=4", "[global]a=1|b=2|c=3|[s]d=4|"},
        {"   key   =   the value   \nx=a=b\nmid;semicolon=kept\nempty=\n",
         "[global]empty=|key=the value|mid;semicolon=kept|x=a=b|"},
        {";comment=1\n   #also=1\nno equals sign\n", ""},
        // A header without "]" is ignored (the section before stays current); names are case-sensitive.
        {"a=1\n  [  LOW  ]   \nb=2\n[broken\nc=3\n[Low]\nd=4\n", "[LOW]b=2|c=3|[Low]d=4|[global]a=1|"},
        {"a=1\na=2\n", "[global]a=2|"},
        {"utf8=\xC3\xBC\x7F\n", "[global]utf8=\xC3\xBC\x7F|"},   // bytes from 0x20 up are text
    };
    for (const auto& [text, content] : cases) {
        IniFile ini;
        ASSERT_TRUE(ini.parse(text)) << text;
        EXPECT_EQ(contentOf(ini), content) << text;
    }
}

TEST(IniFileSyntax, ALaterFileMergesAndAControlByteRejectsAllOfIt) {
    IniFile ini;
    ASSERT_TRUE(ini.parse("a=1\n[s]\nb=1\n"));
    const std::string rejected[] = {"new=1\nbad=\tvalue\n", std::string("n=1\n\0", 5), "\x1b[0m=1"};
    for (const std::string& bad : rejected) EXPECT_FALSE(ini.parse(bad)) << bad;
    ASSERT_TRUE(ini.parse("a=3\nz=9\n[s]\nc=5\n[t]\nd=6\n"));
    EXPECT_EQ(contentOf(ini), "[global]a=3|z=9|[s]b=1|c=5|[t]d=6|");
}

TEST(IniFileSelect, DottedNamesAndMissingSections) {
    IniFile ini;
    ASSERT_TRUE(ini.parse("k=global\n[LOW]\nk=low\nonlyLow=1\n[LOW.fast]\nk=fast\n"));
    // The full-name section wins as a whole; else the base part; a name without a dot finds nothing.
    const std::pair<const char*, const char*> selections[] = {
        {"LOW", "low"}, {"LOW.fast", "fast"}, {"LOW.slow", "low"}, {"HIGH", ""}, {"HIGH.x", ""}, {"", "global"}};
    for (const auto& [section, value] : selections) {
        ini.select(section);
        EXPECT_EQ(ini.get("k"), value) << section;
    }
    ini.select("LOW.fast");
    EXPECT_EQ(ini.get("onlyLow"), "");

    IniFile later;   // a selection made before the section exists
    later.select("LOW");
    ASSERT_TRUE(later.parse("[LOW]\nk=later\n"));
    EXPECT_EQ(later.get("k"), "later");
}

TEST(IniFileFiles, SaveWritesCrLfWithoutEmptyValuesAndLoadsBack) {
    TempFolder folder;
    IniFile ini;
    ASSERT_TRUE(ini.parse("a=1\nempty=\n[LOW]\nb=two words\n"));
    const std::string path = folder / "saved.inf";
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(TempFolder::read(path), "[LOW]\r\nb=two words\r\n[global]\r\na=1\r\n");

    IniFile loaded, copy;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(loaded.path(), path);
    EXPECT_EQ(contentOf(loaded), "[LOW]b=two words|[global]a=1|");
    EXPECT_FALSE(loaded.sameContent(ini));   // ini still holds the empty key
    copy.assign(loaded);
    EXPECT_TRUE(copy.sameContent(loaded));
}

TEST(IniFileFiles, MissingOrUnreadableFileFailsAndKeepsWhatWasLoaded) {
    TempFolder folder;
    IniFile ini;
    ASSERT_TRUE(platform::writeFile(folder / "good.inf", "a=1"));
    ASSERT_TRUE(platform::writeFile(folder / "tab.inf", "b=1\n\tc=2\n"));
    ASSERT_TRUE(ini.load(folder / "good.inf"));
    EXPECT_FALSE(ini.load(folder / "missing.inf"));
    EXPECT_FALSE(ini.load(folder / "tab.inf"));
    EXPECT_EQ(ini.path(), folder / "good.inf");
    EXPECT_EQ(contentOf(ini), "[global]a=1|");
}

}  // namespace
