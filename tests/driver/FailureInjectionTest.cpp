// Failures injected where the driver meets the system: thread creation (pthread_create),
// socket creation (socket) and allocation (operator new), each failing while one IASIO call
// runs. Every call still answers with a result code, nothing escapes into the host, and once
// the system recovers the same object streams again. Native only: the injection replaces the
// C library's entry points in this program.

#include <dlfcn.h>
#include <pthread.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "DriverHarness.h"
#include "SinkInit.h"

// GCC pairs the replaced operator new with free() and warns wrongly at -O2.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<int> threadsUntilFailure{-1};   // the n-th next thread creation fails (0: the next one); -1: none
std::atomic<bool> socketsFail{false};
std::atomic<size_t> allocationsAbove{~size_t{0}};   // allocations larger than this fail

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

void* operator new(std::size_t size) {
    if (size > allocationsAbove.load(std::memory_order_relaxed)) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return size > allocationsAbove.load(std::memory_order_relaxed) ? nullptr : std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace drivertest;

namespace {

std::atomic<int> switches{0};
void count(std::int32_t) { ++switches; }

class FailureInjection : public DriverTest {
protected:
    void initAgainstSink() {
        ASSERT_NO_FATAL_FAILURE(drivertest::initAgainstSink(d, sink));
        Host::reset();
        Host::during = &count;
    }
    bool streams() {
        if (driver->createBuffers(infos, 2, 256, &Host::callbacks) != ASE_OK || driver->start() != ASE_OK) return false;
        const int before = switches.load();
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
             std::chrono::steady_clock::now() < end && switches.load() < before + 10;)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return switches.load() >= before + 10 && driver->stop() == ASE_OK;
    }
    synctest::FakeSink sink;
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
};

TEST_F(FailureInjection, EveryCallAnswersAndTheObjectRecovers) {
    // No socket: init fails before any traffic and says why.
    socketsFail = true;
    EXPECT_EQ(driver->init(nullptr), 0);
    char message[128] = {};
    driver->getErrorMessage(message);
    EXPECT_STREQ(message, "Velmora Find open err!");
    EXPECT_FALSE(d.sync.open(0, 50000, 0, "x"));
    socketsFail = false;

    ASSERT_NO_FATAL_FAILURE(initAgainstSink());
    ASSERT_TRUE(streams());

    // start makes three threads: the Sync worker, the buffer worker, the delayed start.
    for (int failing = 0; failing < 3; ++failing) {
        SCOPED_TRACE("thread " + std::to_string(failing + 1) + " of start cannot be made");
        ASSERT_EQ(driver->createBuffers(infos, 2, 256, &Host::callbacks), ASE_OK);
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
    allocationsAbove = 64 * 1024;
    EXPECT_EQ(driver->createBuffers(infos, 2, 16384, &Host::callbacks), ASE_NotPresent);
    allocationsAbove = ~size_t{0};
    ASSERT_EQ(driver->createBuffers(infos, 2, 16384, &Host::callbacks), ASE_OK);
    allocationsAbove = 64 * 1024;
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    allocationsAbove = ~size_t{0};
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_TRUE(streams());
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

}  // namespace
