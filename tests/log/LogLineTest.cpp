#include "log/LogHeader.h"
#include "log/LogLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

std::string stamped(unsigned priority, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_mon = month;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    std::string text = std::string(logheader::templateText) + "start done";
    const size_t start = logheader::stamp(text.data(), priority, time);
    return std::to_string(start) + ":" + text.substr(start);
}

TEST(LogHeader, PriorityRightAlignedAndTimeAtFixedPlaces) {
    EXPECT_EQ(stamped(134, 2, 5, 14, 3, 9), "0:<134>Mar 05 14:03:09 localhost start done");
    EXPECT_EQ(stamped(131, 11, 31, 9, 0, 0), "0:<131>Dec 31 09:00:00 localhost start done");
    EXPECT_EQ(stamped(35, 0, 1, 23, 59, 59), "1:<35>Jan 01 23:59:59 localhost start done");
    EXPECT_EQ(stamped(7, 7, 9, 1, 2, 3), "2:<7>Aug 09 01:02:03 localhost start done");
}

// What the viewers read back from a received line.
TEST(LogHeader, SplitTakesAReceivedLineApart) {
    const struct {
        std::string line;
        int priority;
        std::string stamp, host, message;
    } cases[] = {
        {"<134>Mar 05 14:03:09 localhost start done", 134, "Mar 05 14:03:09", "localhost", "start done"},
        {"<7>Aug 09 01:02:03 localhost wth end\n", 7, "Aug 09 01:02:03", "localhost", "wth end"},
        {std::string("<131>Dec 31 09:00:00 localhost   cout error 1 2 3") + '\0', 131, "Dec 31 09:00:00", "localhost",
         "  cout error 1 2 3"},
        {"<134>Mar 05 14:03:09 localhost", 134, "Mar 05 14:03:09", "localhost", ""},
        {"<1345>Mar 05 14:03:09 localhost x", -1, "", "", "<1345>Mar 05 14:03:09 localhost x"},
        {"<13x>Mar 05 14:03:09 localhost x", -1, "", "", "<13x>Mar 05 14:03:09 localhost x"},
        {"<134>Mar 05", -1, "", "", "<134>Mar 05"},
        {"no header at all", -1, "", "", "no header at all"},
    };
    for (const auto& c : cases) {
        const logheader::LineParts parts = logheader::split(c.line);
        EXPECT_EQ(parts.priority, c.priority) << c.line;
        EXPECT_EQ(parts.stamp, c.stamp) << c.line;
        EXPECT_EQ(parts.host, c.host) << c.line;
        EXPECT_EQ(parts.message, c.message) << c.line;
    }
}

class LogLevel : public ::testing::Test {
protected:
    void TearDown() override { setLogLevel(-1); }
};

TEST_F(LogLevel, LinesAreBuiltOnlyUpToTheLevel) {
    EXPECT_EQ(logLevel(), -1);
    LogLine off(3);
    off << "dropped" << 5;
    EXPECT_FALSE(off.active());
    EXPECT_TRUE(off.text().empty());

    setLogLevel(6);
    EXPECT_FALSE(LogLine(7).active());
    EXPECT_TRUE(LogLine(6).active());
    EXPECT_TRUE(LogLine(3).active());
    EXPECT_TRUE(LogLine(14).active());    // only the low three bits are the severity
    EXPECT_FALSE(LogLine(15).active());
}

TEST_F(LogLevel, AppendsFormatLikePrintfAndTruncate) {
    setLogLevel(7);
    LogLine line(6);
    line << "start SPEED=" << 44100u << " " << int32_t{-5} << " " << std::numeric_limits<int64_t>::min() << " "
         << std::numeric_limits<uint64_t>::max() << " " << uint16_t{65535} << " " << 1.5 << " " << -0.25 << " "
         << std::string("str") << " " << static_cast<const char*>(nullptr);
    EXPECT_EQ(line.text(), std::string(logheader::templateText) +
                               "start SPEED=44100 -5 -9223372036854775808 18446744073709551615 65535 1.500000 "
                               "-0.250000 str (null)");

    // 2048 bytes of text, the terminating NUL included; a number is cut like snprintf cuts it.
    LogLine full(6);
    full << std::string(LogLine::textCapacity - 1 - logheader::length - 3, 'y') << 123456 << "more";
    ASSERT_EQ(full.text().size(), LogLine::textCapacity - 1);
    EXPECT_EQ(full.text().substr(full.text().size() - 4), "y123");
}

}  // namespace
