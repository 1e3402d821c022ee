// The streaming worker against the in-process sink on [::1]: the bytes the sink
// receives, resends, polarity, packet sizing, the ways a stream ends, its log
// lines, bad datagrams, and that the running loop allocates nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <future>
#include <new>
#include <optional>
#include <thread>

#include "log/LogCapture.h"
#include "log/LogLine.h"
#include "sync/FakeSink.h"
#include "terno/Message.h"

// GCC pairs the replaced operator new with free() and warns wrongly at -O2.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

using namespace VELMORA;
using synctest::Datagram;
using synctest::FakeSink;
using Clock = std::chrono::steady_clock;

// Heap allocations by the worker thread while armed; allocations above a size fail.
namespace {
std::atomic<bool> allocationsArmed{false};
std::atomic<size_t> allocations{0};
std::atomic<size_t> failAbove{~size_t{0}};
thread_local bool isWorkerThread = false;
}  // namespace

void* operator new(std::size_t size) {
    if (size > failAbove.load(std::memory_order_relaxed)) throw std::bad_alloc();
    if (isWorkerThread && allocationsArmed.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr uint64_t pcm32Stereo44k = 0x0000'000A'0000'0802ull;

// Byte n of the stream; never 0, so that it stands out from PCM silence.
uint8_t patternByte(uint64_t n) { return static_cast<uint8_t>(1 + n % 251); }

// Streams the pattern in blocks of 1000 bytes and runs dry once disconnect has
// begun, as a drained buffer does.
class PatternSession : public Sync {
public:
    bool getNewStream(StreamBlock& block) override {
        isWorkerThread = true;
        calls.fetch_add(1, std::memory_order_relaxed);
        block = StreamBlock{};
        if (state.load() == stateDisconnecting) return false;
        for (auto& b : buffer_) b = patternByte(position_++);
        block = StreamBlock{buffer_.data(), buffer_.size()};
        return true;
    }
    std::atomic<uint32_t> calls{0};

private:
    std::array<uint8_t, 1000> buffer_{};
    uint64_t position_ = 0;
};

// Logging starts (level 7) when a test says so: after getInfo, no remote log receiver runs.
using logtest::LogCapture;

enum class Profile { fix, fixFixedSize, var };

// A session on the sink ready to connect: 10 ms cycles (Fix: 3 packets of ~147 frames), or
// one packet every 100 us (Var).
void prepare(Sync& session, FakeSink& sink, uint32_t infoCycleUs, Profile profile) {
    ASSERT_TRUE(synctest::openSession(session, 0xE0, infoCycleUs));
    ASSERT_TRUE(session.getInfo(sink.address(), 0, false));
    ASSERT_TRUE(session.setFormat(pcm32Stereo44k));
    ProfileInputs in{session.sinkFormat, session.packDataSize, session.packDataCount};
    ASSERT_TRUE(profile == Profile::var ? session.transfer.Var(in, 100, 1)
                                        : session.transfer.Fix(in, 10000, 0, profile == Profile::fixFixedSize));
}

// prepare, then connect up to streaming. With a log, logging starts after getInfo (no
// remote log receiver is started).
void startStream(Sync& session, FakeSink& sink, uint32_t infoCycleUs = 50000, Profile profile = Profile::fix,
                 LogCapture* log = nullptr) {
    ASSERT_NO_FATAL_FAILURE(prepare(session, sink, infoCycleUs, profile));
    if (log) log->setLevel(7);
    ASSERT_TRUE(session.connect());
    ASSERT_TRUE(session.connectWait());
    ASSERT_EQ(session.state.load(), stateStreaming);
}

// Polls cond, yielding in between (the teardown race must see a change at once), for at most
// timeoutMs.
template <class Cond>
bool within(int timeoutMs, Cond cond) {
    for (auto until = Clock::now() + std::chrono::milliseconds(timeoutMs); !cond(); std::this_thread::yield())
        if (Clock::now() > until) return false;
    return true;
}

// Every line captured, one per line of text.
std::string joined(LogCapture& log) {
    std::string text;
    for (const std::string& line : log.lines()) text += line + "\n";
    return text;
}

}  // namespace

// Silence until play, the stream whole and in order, silence after its end, then the final
// packet and close; on the way resends, feedback and datagrams to ignore. Without logging the
// worker allocates and counts nothing; with it, the counter line tells what happened.
TEST(Streaming, TheWholeStreamWithResendsFeedbackAndBadDatagrams) {
    for (const bool logging : {false, true}) {
        SCOPED_TRACE(logging ? "logging" : "log off");
        FakeSink sink;
        PatternSession session;
        std::optional<LogCapture> log;
        if (logging) log.emplace(-1);
        startStream(session, sink, 50000, Profile::fix, log ? &*log : nullptr);
        ASSERT_TRUE(sink.waitPackets(15, 3000));  // not playing: silence at the normal pace
        EXPECT_EQ(session.calls.load(), 0u);
        session.play();
        ASSERT_TRUE(sink.waitPackets(45, 5000));
        ASSERT_GT(session.calls.load(), 0u);  // the worker thread is watched from here on
        allocations = 0;
        allocationsArmed = true;
        const size_t seen = sink.packets().size();
        // Datagrams that are no frame, or not from the sink, are ignored. Each would end the
        // stream if taken: a resend request beyond the ring, or DSICONNECT_ANS.
        const uint64_t tooFarBack = uint64_t{static_cast<uint16_t>(seen - 600)} << 16;
        TERNO::MessageHeader request(command::status, tooFarBack);
        request.changeFlags(0xFFFF, 0x08);
        const std::vector<uint8_t> frame(request.frame, request.frame + 16);
        std::vector<uint8_t> wrongMagic = frame, tooLong = frame;
        wrongMagic[0] ^= 1;
        tooLong[2] = 0xF8;  // claims 248 bytes
        const std::vector<std::vector<uint8_t>> bad{
            {}, {0}, {frame.begin(), frame.end() - 1}, wrongMagic, tooLong, std::vector<uint8_t>(6000, 0xFF)};
        for (const auto& bytes : bad) sink.sendRaw(bytes);
        sink.sendFrame(true, command::status, 0x08, tooFarBack);
        sink.sendFrame(true, command::disconnectAns, 0, 0);
        sink.sendStatus(0x08, 0, static_cast<uint16_t>(seen - 6), 1234);  // the last 6 went missing
        sink.sendStatus(0, 8000, 0, 0);  // feedback
        ASSERT_TRUE(sink.waitPackets(seen + 30, 5000));
        allocationsArmed = false;
        EXPECT_EQ(session.state.load(), stateStreaming);
        session.disconnect();
        EXPECT_EQ(session.state.load(), stateIdle);
        EXPECT_GE(sink.count(command::disconnectReq), 1u);  // a stray status message costs an attempt
        if (!logging) {
            EXPECT_EQ(allocations.load(), 0u);
            EXPECT_EQ(session.counters.snapshot(), CounterValues{});
        }

        std::vector<const Datagram*> bySequence(65536, nullptr);
        std::vector<Datagram> originals;
        size_t repeats = 0, burstEnds = 0;
        int64_t infoRequests = 0;
        const uint16_t firstMissing = static_cast<uint16_t>(seen - 6);
        const auto packets = sink.packets();
        for (const auto& p : packets) {
            if (const Datagram* original = bySequence[p.sequence]) {
                // The resends run from the first missing packet on, in order.
                EXPECT_EQ(p.sequence, static_cast<uint16_t>(firstMissing + repeats));
                ++repeats;
                EXPECT_EQ(p.payload, original->payload) << p.sequence;
                EXPECT_EQ(p.flags & 0x20, 0);
                EXPECT_EQ(p.bytes, (p.payload.size() + 2 + 23) & ~size_t{7});  // payload + 2
                continue;
            }
            ASSERT_EQ(p.sequence, originals.size());  // new packets stay consecutive
            ASSERT_EQ(p.payload.size() % 8, 0u);      // whole frames
            ASSERT_EQ(p.bytes, (p.payload.size() + 23) & ~size_t{7});
            if (p.flags & 0x20) {
                ASSERT_TRUE(p.flags & 0x40);  // info goes on a burst's end
            }
            burstEnds += (p.flags & 0x40) != 0;
            infoRequests += (p.flags & 0x20) != 0;
            bySequence[p.sequence] = &p;
            originals.push_back(p);
        }
        EXPECT_GE(repeats, 6u);
        EXPECT_GE(burstEnds, originals.size() / 6);  // bursts of 3, up to 6 while catching up
        EXPECT_LE(burstEnds, originals.size() / 3 + 1);
        // 441 frames of 8 bytes per 10 ms cycle.
        EXPECT_NEAR((packets[3].payload.size() + packets[4].payload.size() + packets[5].payload.size()) / 8.0, 441, 2);
        std::vector<uint8_t> all;
        for (const auto& p : originals) all.insert(all.end(), p.payload.begin(), p.payload.end());
        const auto first = std::find_if(all.begin(), all.end(), [](uint8_t b) { return b != 0; });
        const auto end = std::find(first, all.end(), uint8_t{0});
        ASSERT_GT(end - first, 8000);
        for (long n = 0; n < end - first; ++n) ASSERT_EQ(first[n], patternByte(n)) << n;
        EXPECT_TRUE(std::all_of(end, all.end(), [](uint8_t b) { return b == 0; }));
        if (!logging) continue;

        CounterValues line{};  // the last counter line: the totals of the stream
        for (const std::string& text : log->lines())
            EXPECT_TRUE(text.rfind("counters ", 0) != 0 || parseCounterLine(text, line)) << text;
        EXPECT_EQ(line, session.counters.snapshot());
        EXPECT_EQ(line[counter::packetsSent], static_cast<int64_t>(originals.size()));
        EXPECT_EQ(line[counter::packetsResent], static_cast<int64_t>(repeats));
        EXPECT_EQ(line[counter::resendRequests], 1);
        EXPECT_EQ(line[counter::infoRequests], infoRequests);
        EXPECT_GE(line[counter::infoAnswers], 1);
        EXPECT_EQ(line[counter::profile], 0);
        // Lines of the worker thread that no other thread logs beside: under Wine a line is lost
        // when two threads log at once (the driver thread's "connectWait" and "play" lines come
        // while the worker logs "redy to play loop start").
        const std::string text = joined(*log);
        for (const char* expected : {"wth start ", " FEEDBACK:8 ", " Info=50", "Request Info ", "info rcv 1 ", " fs=",
                                     "buffer Final ", "wth end", "discone"})
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
        EXPECT_EQ(text.find("DSICONNECT_REQ ERROR"), std::string::npos) << text;
    }
}

// Packet sizes follow the profile mode. The Var stream's sink takes jumbo packets (8936
// bytes), which 10,000 times a second would want a 147 MB packet ring: with allocations above
// 64 MB failing, it streams only if the ring stays within its budget.
TEST(Streaming, PacketSizesFollowTheProfileModeAndThePacketRingItsBudget) {
    for (Profile profile : {Profile::fixFixedSize, Profile::var}) {
        FakeSink sink;
        if (profile == Profile::var) sink.mtu = 9000;
        PatternSession session;
        failAbove = 64u << 20;
        startStream(session, sink, 50000, profile);
        failAbove = ~size_t{0};
        const ProfileEntry entry = session.transfer.entry(0);
        session.play();
        ASSERT_TRUE(sink.waitPackets(20, 5000));
        session.disconnect();
        for (const auto& p : sink.packets()) {
            if (profile == Profile::var) {
                ASSERT_EQ(p.payload.size(), entry.fixedPayload);
                ASSERT_EQ(p.bytes, (entry.fixedPayload + 23) & ~7u);
            } else {
                ASSERT_LE(p.payload.size(), entry.capacity);
                ASSERT_EQ(p.bytes, (entry.capacity + 23) & ~7u);  // sized for the capacity
                ASSERT_EQ(p.lengthWord & ~7u, (p.payload.size() + 23) & ~size_t{7});
            }
        }
    }
}

TEST(Streaming, SinkPolarityRequestInvertsTheStreamAndBack) {
    FakeSink sink;
    sink.connectFlags = 0x101;
    sink.statusFlags = 0x100;
    PatternSession session;
    startStream(session, sink);
    EXPECT_EQ(session.converter, &converters::invert);
    session.play();
    ASSERT_TRUE(sink.waitPackets(30, 5000));
    sink.statusFlags = 0x180;  // bits 7 and 8: normal again
    ASSERT_TRUE(sink.waitPackets(60, 5000));
    session.disconnect();
    EXPECT_EQ(session.converter, &converters::copy);
    // Inverted from the start: the engine runs check every converter's bytes through the sink.
    const auto first = sink.packets()[0].payload;
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t b) { return b == 0xFF; }));
}

// Ways a stream ends (a sink that falls silent or closes the stream: the driver's streaming
// tests, and the engine's against the sink process for the info timeout).
TEST(Streaming, WaysAStreamEnds) {
    {  // A resend request beyond the packet ring (512 packets here).
        FakeSink sink;
        PatternSession session;
        startStream(session, sink);
        ASSERT_TRUE(sink.waitPackets(6, 3000));
        sink.sendStatus(0x08, 0, static_cast<uint16_t>(sink.packets().size() - 600), 0);
        ASSERT_TRUE(within(2000, [&] { return session.state.load() == stateIdle; }));
    }
    {  // No answer to CONNECT_REQ (an echo): connecting ends at once.
        FakeSink sink;
        sink.connectEcho = true;
        PatternSession session;
        prepare(session, sink, 50000, Profile::fix);
        ASSERT_TRUE(session.connect());
        EXPECT_TRUE(within(2000, [&] { return session.state.load() == stateIdle; }));
        EXPECT_TRUE(sink.packets().empty());
    }
    {  // No memory for the packet ring (741 KB, with allocations above 256 KB failing): the
       // worker ends its stream, never the process.
        FakeSink sink;
        PatternSession session;
        ASSERT_NO_FATAL_FAILURE(prepare(session, sink, 50000, Profile::fix));
        failAbove = 256u << 10;
        ASSERT_TRUE(session.connect());
        // False when the worker has ended before the wait begins, which a busy machine allows.
        session.connectWait();
        failAbove = ~size_t{0};
        EXPECT_TRUE(within(2000, [&] { return session.state.load() == stateIdle; }));
    }
}

TEST(Streaming, SinkRemoteLogLinesReachOurLog) {
    FakeSink sink;
    LogCapture log;  // level 7 at open: the remote log receiver runs
    Sync session;
    ASSERT_TRUE(synctest::openSession(session, 0, 50000));
    session.logPort = sink.address().portNumber();
    ASSERT_TRUE(session.getInfo(sink.address(), 0, false));
    int waits = 0;  // up to 20 x 200 ms for the sink's lines
    while (!log.contains("Target: sink says hello") && ++waits < 20) {}
    const std::string text = joined(log);
    for (const char* line : {"Target: sink says hello", "Velmora Sync Library ReleaseNo : 100 [0]",
                             "LATENCY_REQ hw=300us latency=5000us", "DATASIZE_REQ mtu=1500 max=15000"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    const auto requests = sink.requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(),
                            [](auto& r) { return r.command == command::logReq && r.parameter == 1; }));
    session.close();  // ends the receiver
}

// Teardown while the stream is being opened returns promptly: close and cancelConnect call
// off an unanswered CONNECT_REQ (3 x 10 s), and a disconnect made the moment the stream
// opens is not overwritten by the worker.
TEST(Streaming, TeardownWhileOpeningReturnsPromptly) {
    for (bool cancel : {false, true}) {
        FakeSink sink;
        sink.answerConnect = false;
        PatternSession session;
        ASSERT_NO_FATAL_FAILURE(prepare(session, sink, 50000, Profile::fix));
        ASSERT_TRUE(session.connect());
        ASSERT_TRUE(within(2000, [&] { return sink.count(command::connectReq) > 0; }));
        const auto start = Clock::now();
        if (cancel) {
            session.cancelConnect();
            session.disconnect();   // joins the worker that was called off
            EXPECT_FALSE(session.worker.joinable());
        } else {
            session.close();
        }
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << (cancel ? "cancelConnect" : "close");
        EXPECT_EQ(session.state.load(), stateIdle);
        EXPECT_EQ(sink.count(command::connectReq), 1u);
    }
    FakeSink sink;
    for (int run = 0; run < 20; ++run) {
        PatternSession session;
        ASSERT_NO_FATAL_FAILURE(prepare(session, sink, 50000, Profile::fix));
        ASSERT_TRUE(session.connect());
        ASSERT_TRUE(within(5000, [&] { return session.state.load() != stateConnecting; }));
        auto done = std::async(std::launch::async, [&] { session.disconnect(); });
        const bool returned = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        EXPECT_TRUE(returned) << "run " << run << ": disconnect still waits for a worker that streams on";
        if (!returned) session.state = stateIdle;   // lets the worker and the test end
        done.wait();
        EXPECT_EQ(session.state.load(), stateIdle);
    }
}

// Early in a stream a resend request can reach back before the first packet: nothing is
// sent for the slots that never held one (before, they went out as zero datagrams), the
// request is logged, and the stream goes on. Its close, which the sink never confirms, is
// then tried four times.
TEST(Streaming, ResendRequestsForPacketsNeverSentAreLoggedNotServedAndAnUnconfirmedCloseIsTriedFourTimes) {
    FakeSink sink;
    sink.answerDisconnect = false;
    PatternSession session;
    LogCapture log(-1);
    startStream(session, sink, 50000, Profile::fix, &log);
    sink.sendStatus(0x08, 0, 0xFFF0, 0);
    ASSERT_TRUE(sink.waitPackets(30, 5000));
    EXPECT_EQ(session.state.load(), stateStreaming);
    const auto start = Clock::now();
    session.disconnect();  // not playing: the final packet is silence
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1400));
    EXPECT_EQ(sink.count(command::disconnectReq), 4u);
    EXPECT_EQ(sink.invalidDatagrams.load(), 0u);
    for (const auto& p : sink.packets()) ASSERT_LT(p.sequence, 0xFFF0);
    const std::string text = joined(log);
    for (const char* expected : {"   cout unsent 65520 0 ", "buffer disconnect ", "DSICONNECT_REQ ERROR "})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}
