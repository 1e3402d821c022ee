#include "log/LogHeader.h"
#include "log/LogLine.h"
#include "log/LogSink.h"
#include "platform/Clock.h"
#include "terno/Socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A UDP listener on [::1] (port 0: any free port).
class Listener {
public:
    explicit Listener(uint16_t port = 0) {
        address_.parse("::1");
        address_.setPortNumber(port);
        ok_ = socket_.open(TERNO::Socket::Udp6) && socket_.bind(address_);
        socket_.receiveSize = 4096;
    }
    bool ok() const { return ok_; }
    uint16_t port() const { return address_.portNumber(); }

    // The next datagram, or nothing when none arrives within waitUs.
    std::optional<std::string> receive(uint32_t waitUs = 500000) {
        if (socket_.waitReadable(waitUs) != TERNO::WaitResult::Ready) return std::nullopt;
        std::vector<uint8_t> bytes;
        socket_.receiveFrom(bytes, from);
        return std::string(bytes.begin(), bytes.end());
    }
    TERNO::Address from{};

private:
    TERNO::Socket socket_;
    TERNO::Address address_{};
    bool ok_ = false;
};

// Logs message at severity and expects it byte-exact, stamped with the local time of the send.
void expectLine(Listener& listener, int severity, unsigned priority, const std::string& message) {
    auto stamped = [&](int64_t seconds) {
        std::string text = std::string(logheader::templateText) + message;
        return text.substr(logheader::stamp(text.data(), priority, platform::localCalendarTime(seconds)));
    };
    const int64_t before = platform::secondsSince1970();
    LogLine(severity) << message;
    const int64_t after = platform::secondsSince1970();
    const auto line = listener.receive();
    ASSERT_TRUE(line) << message;
    EXPECT_TRUE(*line == stamped(before) || *line == stamped(after)) << *line;
}

// A listener and a sink aimed at it, installed as the process's sink.
class SinkToListener : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(listener_.ok());
        sink_ = std::make_shared<LogSink>();
        sink_->setFacility(LogSink::driverFacility);
        ASSERT_TRUE(sink_->open(listener_.port()));
        installLogSink(sink_);
    }
    void TearDown() override {
        setLogLevel(-1);
        installLogSink(nullptr);
    }

    Listener listener_;
    std::shared_ptr<LogSink> sink_;
};

TEST_F(SinkToListener, LinesUpToTheLevelArriveByteExactFromLoopback) {
    LogLine(3) << "error while off";
    setLogLevel(6);
    LogLine(7) << "detail";  // above the level: neither is sent, so the next line comes first
    expectLine(listener_, 6, 134, "start done");
    sink_->setFacility(0);
    expectLine(listener_, 3, 3, "error");
    EXPECT_FALSE(listener_.receive(100000));
    EXPECT_EQ(listener_.from.toString(), "::1");
    EXPECT_EQ(sink_->lastError(), 0);
}

TEST_F(SinkToListener, LongLineIsSentTruncatedAndReopeningChangesNothing) {
    EXPECT_TRUE(sink_->open(LogSink::defaultPort));
    EXPECT_EQ(sink_->destinationPort(), listener_.port());
    setLogLevel(6);
    LogLine(6) << std::string(3000, 'z') << "tail";
    const auto line = listener_.receive();
    ASSERT_TRUE(line);
    ASSERT_EQ(line->size(), LogLine::textCapacity - 1);  // 2048 with the terminating NUL
    EXPECT_EQ(line->find_first_not_of('z', logheader::length), std::string::npos);
}

TEST_F(SinkToListener, ManyThreadsLogWhileLevelAndSinkChange) {
    setLogLevel(6);
    constexpr int threads = 4;
    std::atomic<bool> stop{false};
    std::thread changer([&stop, port = listener_.port()] {
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

    // One datagram per line: each thread's lines arrive once each, in the order logged.
    int lastLine[threads] = {-1, -1, -1, -1};
    int received = 0;
    const uint32_t start = platform::nowMicroseconds();
    while (platform::nowMicroseconds() - start < 3000000u) {  // bounded: 3 s at most
        const auto line = listener_.receive(200000);
        if (!line) break;
        ++received;
        int thread = -1, number = -1;
        ASSERT_EQ(line->compare(0, 5, "<134>"), 0) << *line;
        ASSERT_EQ(std::sscanf(line->c_str() + 21, "localhost thread %d line %d", &thread, &number), 2) << *line;
        ASSERT_TRUE(thread >= 0 && thread < threads);
        EXPECT_GT(number, lastLine[thread]) << *line;
        lastLine[thread] = number;
    }
    for (auto& logger : loggers) logger.join();
    stop = true;
    changer.join();
    EXPECT_GT(received, 0);  // loopback may drop datagrams while the listener's queue is full
}

TEST(DriverSink, CreateAimsAtPort19640AndReplacesTheProcessSink) {
    auto closed = std::make_shared<LogSink>();
    installLogSink(closed);
    setLogLevel(6);
    LogLine(6) << "nowhere";  // a closed sink drops lines silently
    EXPECT_EQ(closed->lastError(), 0);
    installLogSink(nullptr);

    Listener listener(LogSink::defaultPort);
    if (!listener.ok()) GTEST_SKIP() << "[::1]:19640 is taken by another listener on this machine";
    setLogLevel(-1);
    const auto first = LogSink::create();
    EXPECT_EQ(currentLogSink(), first);
    EXPECT_EQ(first->facility(), LogSink::driverFacility);
    EXPECT_EQ(first->destinationPort(), LogSink::defaultPort);
    const auto second = LogSink::create();
    EXPECT_EQ(currentLogSink(), second);
    setLogLevel(6);
    expectLine(listener, 4, 132, "warning through the driver sink");
    setLogLevel(-1);
    installLogSink(nullptr);
}

}  // namespace
