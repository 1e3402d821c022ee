#pragma once
// What init learns of the in-process sink on [::1] (init's own discovery needs the test
// network): the session opened to the sink with its answers, two channels of 32-bit PCM.

#include <gtest/gtest.h>

#include "driver/AsioVelmora.h"
#include "sync/FakeSink.h"

namespace drivertest {

inline void initAgainstSink(AsioVelmora& d, synctest::FakeSink& sink) {
    ASSERT_TRUE(synctest::openSession(d.sync, 0, 50000));
    ASSERT_TRUE(d.sync.getInfo(sink.address(), 0, false));
    d.pcmFormat = VELMORA::StreamFormat::typeInt32;
    d.sampleBytes = 4;
    d.channelCount = 2;
    d.initialised = true;
}

}  // namespace drivertest
