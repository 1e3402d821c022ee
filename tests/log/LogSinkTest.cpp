#include "log/LogCapture.h"
#include "log/LogHeader.h"
#include "log/LogLine.h"
#include "log/LogSink.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using logtest::LogCapture;

// Logs message at severity and expects it as the only datagram since the last one checked,
// byte-exact, stamped with the local time of the send.
void expectLine(LogCapture& log, int severity, unsigned priority, const std::string& message) {
    auto stamped = [&](int64_t seconds) {
        std::string text = std::string(logheader::templateText) + message;
        return text.substr(logheader::stamp(text.data(), priority, platform::localCalendarTime(seconds)));
    };
    const int64_t before = platform::secondsSince1970();
    LogLine(severity) << message;
    const int64_t after = platform::secondsSince1970();
    const std::vector<std::string> received = log.datagrams();
    ASSERT_EQ(received.size(), 1u) << message;
    EXPECT_TRUE(received[0] == stamped(before) || received[0] == stamped(after)) << received[0];
    log.reset(logLevel());
}

TEST(LogSinkDatagrams, LinesUpToTheLevelArriveByteExactFromLoopback) {
    LogCapture log(-1);
    ASSERT_TRUE(log.ok());
    LogLine(3) << "error while off";
    log.setLevel(6);
    LogLine(7) << "detail";  // above the level: neither is sent
    expectLine(log, 6, 134, "start done");
    EXPECT_EQ(log.sender(), "::1");
    // Opening an open sink again keeps its destination.
    const uint16_t port = log.sink().destinationPort();
    EXPECT_TRUE(log.sink().open(LogSink::defaultPort));
    EXPECT_EQ(log.sink().destinationPort(), port);
    log.sink().setFacility(0);
    expectLine(log, 3, 3, "error");
    EXPECT_EQ(log.sink().lastError(), 0);
}

TEST(LogSinkDatagrams, ManyThreadsLogWhileLevelAndSinkChange) {
    LogCapture log(6);
    ASSERT_TRUE(log.ok());
    constexpr int threads = 4;
    std::atomic<bool> stop{false};
    std::thread changer([&stop, port = log.sink().destinationPort()] {
        for (int round = 0; !stop.load(std::memory_order_relaxed); ++round) {
            setLogLevel(7);
            setLogLevel(6);
            if (round % 50 == 0) {  // a new driver sink replaces the one the loggers are using
                auto sink = std::make_shared<LogSink>();
                sink->setFacility(LogSink::driverFacility);
                sink->open(port);
                installLogSink(std::move(sink));
            }
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> loggers;
    for (int t = 0; t < threads; ++t)
        loggers.emplace_back([t] {
            for (int i = 0; i < 100; ++i) {
                LogLine(6) << "thread " << t << " line " << i;
                if (i % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });

    for (auto& logger : loggers) logger.join();
    stop = true;
    changer.join();

    // One datagram per line: each thread's lines arrive once each, in the order logged.
    int lastLine[threads] = {-1, -1, -1, -1};
    const std::vector<std::string> received = log.datagrams();
    for (const std::string& line : received) {
        int thread = -1, number = -1;
        ASSERT_EQ(line.compare(0, 5, "<134>"), 0) << line;
        ASSERT_EQ(std::sscanf(line.c_str() + 21, "localhost thread %d line %d", &thread, &number), 2) << line;
        ASSERT_TRUE(thread >= 0 && thread < threads);
        EXPECT_GT(number, lastLine[thread]) << line;
        lastLine[thread] = number;
    }
    EXPECT_FALSE(received.empty());  // loopback may drop datagrams while the listener's queue is full
}

TEST(DriverSink, CreateAimsAtPort19640AndReplacesTheProcessSink) {
    auto closed = std::make_shared<LogSink>();
    installLogSink(closed);
    setLogLevel(6);
    LogLine(6) << "nowhere";  // a closed sink drops lines silently
    EXPECT_EQ(closed->lastError(), 0);
    installLogSink(nullptr);

    LogCapture log(-1, LogSink::defaultPort);
    if (!log.ok()) GTEST_SKIP() << "[::1]:19640 is taken by another listener on this machine";
    const auto first = LogSink::create();
    EXPECT_EQ(currentLogSink(), first);
    EXPECT_EQ(first->facility(), LogSink::driverFacility);
    EXPECT_EQ(first->destinationPort(), LogSink::defaultPort);
    const auto second = LogSink::create();
    EXPECT_EQ(currentLogSink(), second);
    log.setLevel(6);
    expectLine(log, 4, 132, "warning through the driver sink");
}

}  // namespace
