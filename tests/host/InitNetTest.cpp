// init against the reference sink, inside the test network of tests/netns/testnet.sh: this
// program runs in its host namespace, each sink runs in a sink namespace. Discovery
// multicasts there only. Without that network (VELMORA_TESTNET_SINKS unset) the tests skip.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../driver/DriverHarness.h"
#include "sync/StreamFormat.h"

extern char** environ;

using namespace drivertest;
using VELMORA::StreamFormat;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<std::string> sinkNamespaces() {
    std::vector<std::string> names;
    if (const char* list = std::getenv("VELMORA_TESTNET_SINKS")) {
        std::istringstream words(list);
        for (std::string name; words >> name;) names.push_back(name);
    }
    return names;
}

std::string ipProgram() {
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (std::filesystem::exists(path)) return path;
    return "ip";
}

// Sink k's link-local address on segment 1, as the test network assigns it (fe80::1kk).
std::string sinkAddress(int k) {
    char text[32];
    std::snprintf(text, sizeof text, "fe80::1%02x", k);
    return text;
}

uint64_t pcmMask(uint64_t channelBits, uint64_t types) {
    StreamFormat a, b;
    a.setRate(44100);
    b.setRate(88200);
    return channelBits | types | a.value() | b.value();
}

// Every sink's Sync port; each sink has a namespace of its own.
constexpr uint16_t syncPort = 30000;
const std::string syncPortText = std::to_string(syncPort);

// One reference sink in a sink namespace, stopped and reaped when it goes.
class Sink {
public:
    Sink(const std::string& space, std::vector<std::string> options) : portFile_(folder_.path() / "port") {
        std::vector<std::string> args{ipProgram(), "netns", "exec", space, VELMORA_SINK_PROGRAM,
                                      "--listen", "::", "--port", std::to_string(syncPort), "--log-port", "0",
                                      "--port-file", portFile_.string(), "--time-limit", "60", "--quiet", "--find"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = 0;
    }
    ~Sink() { stop(); }

    // The Sync port, once the sink listens (at most 5 s); 0 when it does not come up.
    uint16_t port() {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (pid_ && Clock::now() < deadline) {
            std::ifstream in(portFile_);
            unsigned value = 0;
            if (in >> value && value) {
                // The Find side starts right after the port is written.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return static_cast<uint16_t>(value);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return 0;
    }

    void stop() {
        if (!pid_) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = 0;
    }

private:
    PrivateFolder folder_;
    std::filesystem::path portFile_;
    pid_t pid_ = 0;
};

struct Driver {
    IASIO* asio;
    explicit Driver(IASIO* made) : asio(made) {}
    ~Driver() {
        if (asio) asio->Release();
    }
    IASIO* operator->() const { return asio; }
    AsioVelmora& object() const { return objectOf(asio); }
    std::string errorMessage() const {
        char text[128] = {};
        asio->getErrorMessage(text);
        return text;
    }
    std::string name() const {
        char text[32] = {};
        asio->getDriverName(text);
        return text;
    }
};

class InitNet : public ::testing::Test {
protected:
    void SetUp() override {
        spaces_ = sinkNamespaces();
        if (spaces_.size() < 2) GTEST_SKIP() << "needs the test network with two sinks (tests/netns/testnet.sh)";
    }
    std::vector<std::string> spaces_;
};

TEST_F(InitNet, DiscoveryTakesTheSmallerAddressAndChoosesTheFormat) {
    const uint64_t mask = pcmMask(0x6, StreamFormat::typeInt32 | StreamFormat::typeInt24);
    Sink first(spaces_[0], {"--pcm-caps", std::to_string(mask), "--find-description", "Box"});
    const uint16_t port = first.port();
    ASSERT_NE(port, 0);
    Sink second(spaces_[1], {"--find-description", "Other"});
    ASSERT_NE(second.port(), 0);

    PrivateSettings settings("PCMRequest=24\r\n");
    Driver driver(createDriver());
    ASSERT_EQ(driver->init(nullptr), 1) << driver.errorMessage();
    EXPECT_TRUE(driver.object().initialised);
    EXPECT_EQ(driver.name(), "Box");
    std::int32_t in = -1, out = -1;
    EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(out, 4);   // low mask bits 0b00110
    ASIOChannelInfo info{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
    EXPECT_EQ(driver.object().sampleBytes, 3u);
    EXPECT_EQ(driver->canSampleRate(44100), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(48000), ASE_NoClock);

    // Once initialised, init answers at once without asking anyone.
    first.stop();
    second.stop();
    const auto begin = Clock::now();
    EXPECT_EQ(driver->init(nullptr), 1);
    EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(50));
}

TEST_F(InitNet, OutputNamesAndTheConfiguredAddress) {
    Sink first(spaces_[0], {"--find-description", "Box", "--find-output", syncPortText + ":1:Room"});
    ASSERT_NE(first.port(), 0);
    const uint64_t only24 = pcmMask(0x2, StreamFormat::typeInt24);
    Sink second(spaces_[1], {"--pcm-caps", std::to_string(only24), "--find-description", "Hall",
                             "--find-output", syncPortText + ":1:Stage"});
    ASSERT_NE(second.port(), 0);
    {
        // Discovery: description and output name.
        PrivateSettings settings;
        Driver driver(createDriver());
        EXPECT_EQ(driver->init(nullptr), 1) << driver.errorMessage();
        EXPECT_EQ(driver.name(), "Box(Room)");
    }
    {
        // A configured target: the bare description; the host always delivers 32-bit integers.
        PrivateSettings settings("TargetAddress=" + sinkAddress(2) + ",19642\r\nTargetPO=1\r\nPCMRequest=CovertS32\r\n");
        Driver driver(createDriver());
        ASSERT_EQ(driver->init(nullptr), 1) << driver.errorMessage();
        EXPECT_EQ(driver.name(), "Hall");
        EXPECT_EQ(driver.object().pcmFormat, StreamFormat::typeInt24);
        EXPECT_EQ(driver.object().sampleBytes, 4u);
        ASIOChannelInfo info{};
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, ASIOSTInt32LSB);
        std::int32_t in = -1, out = -1;
        EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
        EXPECT_EQ(out, 2);
    }
}

TEST_F(InitNet, EachFailureLeavesItsMessage) {
    struct Row {
        std::string settings;
        ASIOBool result;
        std::string message;
    };
    const auto attempt = [](const Row& row) {
        PrivateSettings settings(row.settings);
        Driver driver(createDriver());
        EXPECT_EQ(driver->init(nullptr), row.result) << row.settings;
        EXPECT_FALSE(driver.object().initialised) << row.settings;
        EXPECT_EQ(driver.errorMessage(), row.message) << row.settings;
        std::int32_t in = -1, out = -1;
        EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
        EXPECT_EQ(out, 0);
    };

    // Nobody there.
    attempt({"", 0, "Velmora can not Find"});
    attempt({"TargetAddress=" + sinkAddress(0xff) + ",19642\r\n", 0, "Velmora can not ReFind"});
    attempt({"Interface=999\r\n", 0, "Velmora Find open err!"});
    {
        // A sink that refuses a client that will not be interrupted.
        Sink refusing(spaces_[0], {"--find-refuse-nopbreak"});
        ASSERT_NE(refusing.port(), 0);
        attempt({"NopBreak=Enable\r\n", 0, "Velmora Find err!"});
        attempt({"NopBreak=Enable\r\nTargetAddress=" + sinkAddress(1) + ",19642\r\n", 0, "Velmora get Target err!"});
    }
    {
        // Found, but its output port is silent: init reports success so that the host may
        // try again, and stays uninitialised.
        Sink silent(spaces_[0], {"--find-output", "9"});
        ASSERT_NE(silent.port(), 0);
        attempt({"", 1, "Velmora get info err!"});
    }
    {
        // Only 8-bit PCM: nothing the driver can offer.
        Sink narrow(spaces_[1], {"--pcm-caps", std::to_string(pcmMask(0x2, StreamFormat::typeInt8))});
        ASSERT_NE(narrow.port(), 0);
        attempt({"", 0, "format miss err!"});
        attempt({"PCMRequest=CovertS32\r\n", 0, "format miss err!"});
    }
}

// A host that counts its callbacks and writes a ramp into every half it is given.
struct CountingHost {
    static inline std::atomic<int> calls{0};
    static inline ASIOBufferInfo* infos = nullptr;
    static inline std::size_t halfBytes = 0;
    static void bufferSwitch(std::int32_t index, ASIOBool) {
        for (int c = 0; c < 2; ++c) std::memset(infos[c].buffers[index], calls.load() & 0x7F, halfBytes);
        calls.fetch_add(1);
    }
    static void sampleRateDidChange(ASIOSampleRate) {}
    static std::int32_t asioMessage(std::int32_t, std::int32_t, void*, double*) { return 0; }
    static inline ASIOCallbacks callbacks{&bufferSwitch, &sampleRateDidChange, &asioMessage, nullptr};
};

uint64_t positionOf(IASIO* asio) {
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    EXPECT_EQ(asio->getSamplePosition(&position, &stamp), ASE_OK);
    return uint64_t{position.hi} << 32 | position.lo;
}

TEST_F(InitNet, StartStreamsUntilStop) {
    Sink sink(spaces_[0], {"--find-description", "Box"});
    ASSERT_NE(sink.port(), 0);
    PrivateSettings settings("TargetAddress=" + sinkAddress(1) + ",19642\r\nTargetPO=1\r\nStartDelay=200000\r\n");
    Driver driver(createDriver());
    ASSERT_EQ(driver->init(nullptr), 1) << driver.errorMessage();
    ASSERT_EQ(driver->canSampleRate(44100), ASE_OK);
    ASIOBufferInfo infos[2] = {{0, 0, {}}, {0, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &CountingHost::callbacks), ASE_OK);
    CountingHost::infos = infos;
    CountingHost::halfBytes = driver.object().bufferBytes;
    CountingHost::calls = 0;

    const auto begin = Clock::now();
    ASSERT_EQ(driver->start(), ASE_OK);
    // The stream runs at the sink's pace: about 172 periods of 256 frames per second.
    const auto deadline = begin + std::chrono::seconds(5);
    while (CountingHost::calls.load() < 60 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto elapsed = Clock::now() - begin;
    EXPECT_GE(CountingHost::calls.load(), 60);
    // Playback is held back for StartDelay + 10 ms, and the ring holds only a few blocks.
    EXPECT_GE(elapsed, std::chrono::milliseconds(210 + 60 * 256 * 1000 / 44100 / 2));
    EXPECT_GE(positionOf(driver.asio), 60u * 256u);

    EXPECT_EQ(driver->stop(), ASE_OK);
    const int afterStop = CountingHost::calls.load();
    const uint64_t stoppedAt = positionOf(driver.asio);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(CountingHost::calls.load(), afterStop);
    EXPECT_EQ(positionOf(driver.asio), stoppedAt);

    // A second run on the same buffers, to a sink that takes a new session (the reference
    // sink ends with its first).
    sink.stop();
    Sink again(spaces_[0], {"--find-description", "Box"});
    ASSERT_NE(again.port(), 0);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_LT(positionOf(driver.asio), stoppedAt);
    const int firstRun = CountingHost::calls.load();
    const auto secondDeadline = Clock::now() + std::chrono::seconds(5);
    while (CountingHost::calls.load() < firstRun + 20 && Clock::now() < secondDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(CountingHost::calls.load(), firstRun + 20);
    const auto stopBegin = Clock::now();
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_LT(Clock::now() - stopBegin, std::chrono::seconds(2));
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

}  // namespace

TEST_F(InitNet, ControlPanelReinitialisesOnlyWhenTheSettingsChanged) {
    const uint64_t mask = pcmMask(0x2, StreamFormat::typeInt32 | StreamFormat::typeInt24);
    Sink sink(spaces_[0], {"--pcm-caps", std::to_string(mask), "--find-description", "Box"});
    ASSERT_NE(sink.port(), 0);
    PrivateSettings settings("PCMRequest=24\r\n");
    Driver driver(createDriver());
    ASSERT_EQ(driver->init(nullptr), 1) << driver.errorMessage();
    ASIOChannelInfo info{};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);

    driver.object().settings.controlPanelPath = "/nonexistent/velmora-settings";
    EXPECT_EQ(driver->controlPanel(), ASE_NotPresent);

    // The panel closes without saving: nothing is read again, no one is asked.
    driver.object().settings.controlPanelPath = VELMORA_PANEL_PROGRAM;
    ::unsetenv("VELMORA_PANEL_SOURCE");
    sink.stop();
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    EXPECT_TRUE(driver.object().initialised);

    // The panel saves a new sample width: the driver re-reads its keys, runs init again and
    // hands the host init's own result.
    Sink again(spaces_[0], {"--pcm-caps", std::to_string(mask), "--find-description", "Box"});
    ASSERT_NE(again.port(), 0);
    const std::string saved = settings.settingsFile() + ".saved";
    std::ofstream(saved, std::ios::binary) << "PCMRequest=32\r\n";
    ::setenv("VELMORA_PANEL_SOURCE", saved.c_str(), 1);
    ::setenv("VELMORA_PANEL_TARGET", settings.settingsFile().c_str(), 1);
    EXPECT_EQ(driver->controlPanel(), 1) << driver.errorMessage();
    ::unsetenv("VELMORA_PANEL_SOURCE");
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
}
