// Launching a program and waiting for its exit status.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Process.h"
#include "settings/TempFolder.h"

namespace {
// The helper program is built beside this test program.
std::string helperPath() { return platform::moduleFolder() + SETTINGS_EXIT_HELPER; }
}  // namespace

TEST(Process, ExitStatusAndArgumentsArriveIntact) {
    TempFolder folder;
    const std::string out = folder / "args.txt";
    const std::vector<std::string> arguments = {out, "7", "plain", "two words", "quote\"inside", "trailing\\",
                                                "back\\\\\"slash", ""};
    platform::ChildProcess child;
    ASSERT_TRUE(child.launch(helperPath(), arguments)) << helperPath();
    EXPECT_TRUE(child.launched());
    EXPECT_FALSE(child.launch(helperPath(), {}));   // one program at a time
    EXPECT_EQ(child.wait(), 7);
    EXPECT_FALSE(child.launched());
    EXPECT_EQ(TempFolder::read(out), "plain\n" "two words\n" "quote\"inside\n" "trailing\\\n" "back\\\\\"slash\n" "\n");
}

TEST(Process, FailuresAreReported) {
    platform::ChildProcess child;
    EXPECT_EQ(child.wait(), -1);
    EXPECT_FALSE(child.launch(platform::moduleFolder() + "no-such-program.exe"));
    EXPECT_FALSE(child.launched());

    platform::ChildProcess moved;
    ASSERT_TRUE(child.launch(helperPath(), {"", "3"}));
    moved = std::move(child);
    EXPECT_FALSE(child.launched());
    EXPECT_EQ(moved.wait(), 3);
}
