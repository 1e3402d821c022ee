#pragma once
// A driver beside the in-process sink on [::1]. initAgainstSink sets up what init learns of the
// sink (init's own discovery needs the test network): the session opened to it with its
// answers, two channels of 32-bit PCM, and a fresh host for two buffers of `frames` frames.

#include "DriverHarness.h"
#include "sync/FakeSink.h"

namespace drivertest {

class SinkDriverTest : public DriverTest {
protected:
    static constexpr std::int32_t frames = 256;

    void initAgainstSink() {
        ASSERT_TRUE(synctest::openSession(d.sync, 0, 50000));
        ASSERT_TRUE(d.sync.getInfo(sink.address(), 0, false));
        initialisedAs(VELMORA::StreamFormat::typeInt32, 4, 2);
        d.initialised = true;
        Host::reset(infos, frames * 4);
    }

    synctest::FakeSink sink;
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
};

}  // namespace drivertest
