// The counter line: what the driver writes is what the log viewers read back, and lines
// that are not whole counter lines are refused rather than half read.
#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "log/LogHeader.h"
#include "log/LogLine.h"
#include "sync/SessionCounters.h"

using namespace VELMORA;

TEST(CounterLine, WrittenValuesReadBackAndMalformedLinesAreRefused) {
    CounterValues written{};
    std::iota(written.begin(), written.end(), int64_t{1000});
    written[counter::correctionPpm] = -1234;
    setLogLevel(6);
    std::string message;
    {
        LogLine line(6);
        appendCounters(line, written);
        message = std::string(line.text().substr(logheader::length));
    }
    setLogLevel(-1);
    CounterValues read{};
    ASSERT_TRUE(parseCounterLine(message, read)) << message;
    EXPECT_EQ(read, written);
    EXPECT_EQ(message.substr(0, 24), "counters sent=1000 resen");

    const std::string every = "counters sent=1 resent=2 resends=3 late=4 latemax=5 silence=6 fill=7 ppm=-9 "
                              "debt=10 over=11 profile=12 info=13 feedback=14 ends=15 recovered=16";
    const struct {
        std::string line;
        bool accepted;
    } cases[] = {
        {every, true},
        {every + " newer=5", true},                        // a counter of a newer driver is skipped
        {"counters  " + every.substr(9) + "  ", true},     // extra blanks
        {every.substr(0, every.rfind(' ')), false},        // one counter missing
        {every + " sent=1", false},                        // one counter twice
        {every + " loose", false},                         // a word without a value
        {"counters sent=x" + every.substr(14), false},     // not a number
        {"counters sent=1e3" + every.substr(15), false},   // trailing rubbish
        {"countersX" + every.substr(8), false},            // another word
        {"Target: " + every, false},                       // the line of someone else
        {"", false},
    };
    for (const auto& c : cases) {
        CounterValues values{};
        EXPECT_EQ(parseCounterLine(c.line, values), c.accepted) << c.line;
        EXPECT_EQ(values[counter::correctionPpm], c.accepted ? -9 : 0) << c.line;   // untouched when refused
    }
}
