// The interface list on whatever machine runs the test: no particular interface is assumed,
// only that what is listed is sane and that the lists agree with each other.

#include "terno/InterfaceList.h"

#include <gtest/gtest.h>

using TERNO::Address;
using TERNO::InterfaceList;

TEST(InterfaceListTest, ListsAreSaneAndConsistent) {
    InterfaceList v6 = {{Address{}, {"stale", "stale"}}};  // emptied first
    InterfaceList v4;
    const bool haveV6 = TERNO::listIPv6(v6);
    ASSERT_TRUE(haveV6 || TERNO::listIPv4(v4)) << "no adapter query worked";
    TERNO::listIPv4(v4);
    bool loopbackSeen = false;
    for (const auto& [address, info] : v6) {
        EXPECT_EQ(address.port, 0) << address.toString();
        EXPECT_NE(info.name, "stale");
        EXPECT_TRUE(!address.isLinkLocal() || address.scope != 0) << address.toString();
        loopbackSeen |= address.toString() == "::1";
    }
    for (const auto& [address, info] : v4) {
        EXPECT_EQ(address.toString().rfind("::ffff:", 0), 0u) << address.toString();  // held IPv4-mapped
        loopbackSeen |= address.toIPv4String() == "127.0.0.1";
    }
    EXPECT_TRUE(loopbackSeen) << "neither ::1 nor 127.0.0.1 listed";

    InterfaceList linkLocal;
    EXPECT_EQ(TERNO::listLinkLocal(linkLocal), haveV6);
    size_t expected = 0;
    for (const auto& entry : v6) expected += entry.first.isLinkLocal() ? 1 : 0;
    EXPECT_EQ(linkLocal.size(), expected);
    for (const auto& entry : linkLocal) EXPECT_EQ(v6.count(entry.first), 1u) << entry.first.toString();
}
