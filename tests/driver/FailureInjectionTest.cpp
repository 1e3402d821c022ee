// Failures injected where the driver meets the system: thread creation (pthread_create),
// socket creation (socket) and allocation (operator new, replaced in ProcessResources), each
// failing while one IASIO call runs. Every call still answers with a result code, nothing
// escapes into the host, and once the system recovers the same object streams again. Native
// only: the injection replaces the C library's entry points in this program.

#include <dlfcn.h>
#include <pthread.h>
#include <sys/socket.h>

#include <atomic>

#include "SinkInit.h"
#include "lifecycle/ProcessResources.h"

namespace {
std::atomic<int> threadsUntilFailure{-1};   // the n-th next thread creation fails (0: the next one); -1: none
std::atomic<bool> socketsFail{false};

template <class F>
F original(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) {
    static const auto real = original<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>(
        "pthread_create");
    if (threadsUntilFailure.load() >= 0 && threadsUntilFailure.fetch_sub(1) == 0) return EAGAIN;
    return real(thread, attributes, start, argument);
}

extern "C" int socket(int domain, int type, int protocol) noexcept {
    static const auto real = original<int (*)(int, int, int)>("socket");
    if (socketsFail.load()) {
        errno = EMFILE;
        return -1;
    }
    return real(domain, type, protocol);
}

using namespace drivertest;

namespace {

class FailureInjection : public SinkDriverTest {
protected:
    bool streams() {
        if (driver->createBuffers(infos, 2, frames, &Host::callbacks) != ASE_OK || driver->start() != ASE_OK) return false;
        const int before = Host::switches.load();
        return eventually([&] { return Host::switches.load() >= before + 10; }) && driver->stop() == ASE_OK;
    }
};

TEST_F(FailureInjection, EveryCallAnswersAndTheObjectRecovers) {
    // No socket: init fails before any traffic and says why.
    socketsFail = true;
    EXPECT_EQ(driver->init(nullptr), 0);
    EXPECT_EQ(errorMessage(driver.asio), "Velmora Find open err!");
    EXPECT_FALSE(d.sync.open(0, 50000, 0, "x"));
    socketsFail = false;

    ASSERT_NO_FATAL_FAILURE(initAgainstSink());
    ASSERT_TRUE(streams());

    // start makes three threads: the Sync worker, the buffer worker, the delayed start.
    for (int failing = 0; failing < 3; ++failing) {
        SCOPED_TRACE("thread " + std::to_string(failing + 1) + " of start cannot be made");
        ASSERT_EQ(driver->createBuffers(infos, 2, frames, &Host::callbacks), ASE_OK);
        threadsUntilFailure = failing;
        EXPECT_EQ(driver->start(), ASE_NotPresent);
        threadsUntilFailure = -1;
        EXPECT_EQ(driver->stop(), ASE_OK);
        EXPECT_EQ(d.sync.state.load(), VELMORA::stateIdle);
        if (failing < 2) {
            // Without its workers the session was closed: init opens it again.
            EXPECT_FALSE(d.initialised);
            ASSERT_NO_FATAL_FAILURE(initAgainstSink());
        }
        EXPECT_TRUE(streams());
    }

    // No memory for the host's buffers, then none for the ring.
    lifecycle::failAllocationsAbove(64 * 1024);
    EXPECT_EQ(driver->createBuffers(infos, 2, 16384, &Host::callbacks), ASE_NotPresent);
    lifecycle::failAllocationsAbove(~size_t{0});
    ASSERT_EQ(driver->createBuffers(infos, 2, 16384, &Host::callbacks), ASE_OK);
    lifecycle::failAllocationsAbove(64 * 1024);
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    lifecycle::failAllocationsAbove(~size_t{0});
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_TRUE(streams());
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

}  // namespace
