// Time of one getTargetList with 1, 2 and 8 answering sinks (one output each) against
// its bound: 3 passes x interfaces x 30 ms of collection, plus per sink two name
// exchanges, the count, the information text and one query per output (each at most
// 100 ms, far less when the sink answers).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "SinkFarm.h"
#include "TestNet.h"
#include "find/Find.h"
#include "find/ProductTag.h"

using namespace testnet;

TEST(DiscoveryTime, TargetListWithOneTwoAndEightSinks) {
    TESTNET_REQUIRED();
    for (size_t sinks : {1u, 2u, 8u}) {
        SinkFarm farm;
        for (size_t k = 1; k <= sinks; ++k)
            ASSERT_TRUE(farm.start(k, plainSink("Sink" + std::to_string(k), 1))) << k;
        std::vector<double> runs;
        size_t interfaces = 0;
        for (int run = 0; run < 5; ++run) {
            VELMORA::Find find({VELMORA::findID, 1, std::string(VELMORA::productName), false});
            ASSERT_TRUE(find.open(0));
            interfaces = find.interfaces.size();
            VELMORA::TargetMap targets;
            const auto start = std::chrono::steady_clock::now();
            ASSERT_TRUE(find.getTargetList(targets));
            runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            ASSERT_EQ(targets.size(), sinks);
        }
        std::sort(runs.begin(), runs.end());
        const double collection = 3.0 * static_cast<double>(interfaces) * 30.0;
        const double bound = collection + static_cast<double>(sinks) * (4 + 1) * 100.0;
        std::printf("getTargetList sinks=%zu interfaces=%zu: min %.1f ms, median %.1f ms, max %.1f ms "
                    "(collection %.0f ms, bound %.0f ms)\n",
                    sinks, interfaces, runs.front(), runs[runs.size() / 2], runs.back(), collection, bound);
        EXPECT_GE(runs.front(), collection * 0.95);
        EXPECT_LT(runs.back(), bound);
        // Answering sinks cost little beyond the collection windows (loose: shared machines).
        EXPECT_LT(runs[runs.size() / 2], collection + static_cast<double>(sinks) * 30.0 + 150.0);
    }
}
