#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(ProcessPriority, FollowsThePriorityClass) {
    HANDLE process = GetCurrentProcess();
    const DWORD original = GetPriorityClass(process);
    ASSERT_TRUE(SetPriorityClass(process, BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(platform::processPriorityLevel(), 3);
    ASSERT_TRUE(SetPriorityClass(process, NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(platform::processPriorityLevel(), 2);
    SetPriorityClass(process, original);
}

}  // namespace
