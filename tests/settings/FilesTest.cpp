// The files seam: whole-file reads and replacing writes, folders, UTF-8 and "\" paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Environment.h"
#include "platform/Files.h"
#include "settings/TempFolder.h"

TEST(Files, FolderOfCutsAfterTheLastSeparator) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\a\\b\\setting.inf", "C:\\a\\b\\"}, {"/x/y\\z.inf", "/x/y\\"}, {"a\\b/c", "a\\b/"},
        {"setting.inf", ""}, {"", ""}};
    for (const auto& [path, folder] : cases) EXPECT_EQ(platform::folderOf(path), folder) << path;
}

TEST(Files, BinaryRoundTripAndReplacement) {
    TempFolder folder;
    const std::string path = folder / "bytes.bin";
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    bytes += "\r\n\n\r";
    ASSERT_TRUE(platform::writeFile(path, bytes));
    EXPECT_EQ(platform::readFile(path), bytes);
    ASSERT_TRUE(platform::writeFile(path, "short"));
    EXPECT_EQ(platform::readFile(path), "short");
    ASSERT_TRUE(platform::writeFile(path, ""));
    EXPECT_EQ(platform::readFile(path), "");
    EXPECT_FALSE(platform::fileExists(path + ".new"));   // nothing left beside it
    EXPECT_FALSE(platform::readFile(folder / "missing").has_value());
    EXPECT_FALSE(platform::readFile(folder.path()).has_value());
    EXPECT_FALSE(platform::writeFile(folder / "no-such-folder/f.inf", "x"));
}

TEST(Files, NestedFoldersWithBothSeparatorsAndUtf8Names) {
    TempFolder folder;
    const std::string nested = folder.path() + "\\Z\xC3\xBCrich \xCE\xA9\\deeper/deepest";
    EXPECT_FALSE(platform::folderExists(nested));
    ASSERT_TRUE(platform::createFolder(nested));
    ASSERT_TRUE(platform::createFolder(nested));   // already there
    EXPECT_TRUE(platform::folderExists(nested));
    const std::string file = nested + "\\setting.inf";
    ASSERT_TRUE(platform::writeFile(file, "a=1"));
    EXPECT_TRUE(platform::fileExists(file));
    EXPECT_FALSE(platform::fileExists(nested));
    EXPECT_FALSE(platform::folderExists(file));
    // The file system sees the same file under its own separators and UTF-8 name.
    const auto seen = std::filesystem::path(folder.path()) / std::filesystem::path(u8"Z\u00fcrich \u03a9") /
                      "deeper" / "deepest" / "setting.inf";
    EXPECT_TRUE(std::filesystem::is_regular_file(seen));
    EXPECT_TRUE(platform::removeFile(file));
    EXPECT_FALSE(platform::removeFile(file));
    EXPECT_FALSE(platform::removeFile(nested));   // not a file
}

// The module folder is the one the process tests find their helper program in.
TEST(Files, ApplicationDataFolderHasNoTrailingSeparator) {
    const std::string appData = platform::appDataFolder();
    ASSERT_FALSE(appData.empty());
    EXPECT_NE(appData.back(), '\\');
    EXPECT_NE(appData.back(), '/');
}

TEST(Files, XdgConfigHomeNamesTheApplicationDataFolder) {
    if (platform::nativePath("a\\b") == "a\\b") GTEST_SKIP() << "Windows reads the shell's folder instead";
    const auto saved = platform::getEnvironment("XDG_CONFIG_HOME");
    ASSERT_TRUE(platform::setEnvironment("XDG_CONFIG_HOME", "/tmp/velmora-config-test"));
    EXPECT_EQ(platform::appDataFolder(), "/tmp/velmora-config-test");
    ASSERT_TRUE(platform::setEnvironment("XDG_CONFIG_HOME", "relative/is/ignored"));
    const std::string fallback = platform::appDataFolder();
    platform::setEnvironment("XDG_CONFIG_HOME", saved.value_or(""));
    EXPECT_TRUE(fallback.ends_with("/.config")) << fallback;
}
