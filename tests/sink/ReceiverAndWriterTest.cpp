// The receiver end to end without sockets (faults, resend requests, feedback, output
// order), and the audio containers.
#include "AudioWriter.h"
#include "DataReceiver.h"
#include "MarkLog.h"
#include "common/BlockMark.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <tuple>

namespace sink {
namespace {

using VELMORA::StreamFormat;

constexpr uint64_t kStereo16At48k = 0x0000000C00000202ull;   // 2 ch, int16, 48 kHz ×1
constexpr uint64_t kDsd64Stereo = 0x0000020200000002ull;     // without the word layout

std::vector<uint8_t> body(uint16_t seq, size_t bytes) {
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(seq * 7 + i);
    return out;
}

std::vector<uint8_t> dataPacket(uint16_t seq, uint16_t fl, size_t bytes) {
    return frameWithPayload(Header(DATA, fl, seq), body(seq, bytes));
}

// The bodies of packets 0 .. count-1 (numbers wrap at 65536) one after another.
std::vector<uint8_t> bodies(uint32_t count, size_t bytes) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < count; ++i) {
        const auto b = body(static_cast<uint16_t>(i), bytes);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// A file in the test folder named after the running test, removed when it goes.
struct TempFile {
    explicit TempFile(const char* suffix)
        : path(::testing::TempDir() + ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix) {}
    ~TempFile() { std::remove(path.c_str()); }
    std::vector<uint8_t> bytes() const {
        std::ifstream f(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    const std::string path;
};

// A receiver of 16-bit stereo writing every payload byte to a raw file, keeping what it sends.
struct Receiver {
    explicit Receiver(const SinkConfig& c) : config(c) {
        EXPECT_TRUE(writer.begin(kStereo16At48k));
        rx.begin(kStereo16At48k, 0);
    }
    SinkReport finish() {
        SinkReport report;
        rx.finish(report);
        writer.end();
        return report;
    }
    const SinkConfig config;
    TempFile raw{".raw"};
    AudioWriter writer{"", "", raw.path};
    std::vector<std::vector<uint8_t>> sent;
    DataReceiver rx{config, writer, [this](Bytes f) { sent.emplace_back(f.begin(), f.end()); }};
};

TEST(DataReceiver, RecoversDroppedPacketsThroughResendRequests) {
    SinkConfig c;
    c.faults.dropPackets = {2, 3};
    c.resendDelayUs = 1000;
    c.invertPolarity = true;
    Receiver r(c);
    // Packets 0..5; new-packet indexes 2 and 3 vanish.
    for (uint16_t s = 0; s < 6; ++s) r.rx.onData(dataPacket(s, kBurstEnd, 20), 100 + s);
    EXPECT_TRUE(r.sent.empty());   // too young to be asked for
    r.rx.poll(1200);
    ASSERT_EQ(r.sent.size(), 1u);
    EXPECT_EQ(command(r.sent[0]), STATUS);
    EXPECT_EQ(flags(r.sent[0]), kResendRequest | kPolarityInvert);
    EXPECT_EQ(readU16(r.sent[0], 10), 2);   // first missing
    EXPECT_EQ(readU16(r.sent[0], 12), 5);   // newest seen
    // The driver resends everything from 2 on; 4 and 5 arrive twice.
    for (uint16_t s = 2; s < 6; ++s) r.rx.onData(dataPacket(s, 0, 20), 1300);
    r.rx.onData(dataPacket(6, kInfoRequest | kBurstEnd, 20), 1400);
    ASSERT_EQ(r.sent.size(), 2u);   // the feedback answer
    EXPECT_EQ(flags(r.sent[1]) & (kResendRequest | kPolarityInvert), kPolarityInvert);
    EXPECT_NE(readU16(r.sent[1], 8), 0);   // level feedback A
    const SinkReport report = r.finish();
    EXPECT_EQ(report.packetsDelivered, 7u);
    EXPECT_EQ(report.recovered, 2u);
    EXPECT_EQ(report.duplicates, 2u);
    EXPECT_EQ(report.neverRecovered, 0u);
    EXPECT_EQ(report.resendRequests, 1u);
    EXPECT_EQ(report.infoRequests, 1u);
    EXPECT_EQ(r.raw.bytes(), bodies(7, 20));
}

// Packets that never came back are named at the end, neighbours as one run.
TEST(DataReceiver, PacketsNeverResentAreNamedInRuns) {
    SinkConfig c;
    c.faults.dropPackets = {1, 2, 4};
    Receiver r(c);
    for (uint16_t s = 0; s < 6; ++s) r.rx.onData(dataPacket(s, 0, 20), 100);
    const SinkReport report = r.finish();
    EXPECT_EQ(report.neverRecovered, 3u);
    ASSERT_EQ(report.lost.size(), 2u);
    EXPECT_EQ(std::tie(report.lost[0].first, report.lost[0].count), std::make_tuple(uint64_t{1}, uint64_t{2}));
    EXPECT_EQ(std::tie(report.lost[1].first, report.lost[1].count), std::make_tuple(uint64_t{4}, uint64_t{1}));
}

TEST(DataReceiver, ResendRequestSpansTheSequenceWrap) {
    SinkConfig c;
    c.faults.dropPackets = {65535};   // sequence number 65535
    c.resendDelayUs = 100;
    Receiver r(c);
    for (uint32_t i = 0; i < 65538; ++i) r.rx.onData(dataPacket(static_cast<uint16_t>(i), 0, 4), 10);
    r.rx.poll(200);
    ASSERT_EQ(r.sent.size(), 1u);
    EXPECT_EQ(readU16(r.sent[0], 10), 65535);   // first missing
    EXPECT_EQ(readU16(r.sent[0], 12), 1);       // newest seen, past the wrap
    r.rx.onData(dataPacket(65535, 0, 4), 300);
    const SinkReport report = r.finish();
    EXPECT_EQ(report.packetsDelivered, 65538u);
    EXPECT_EQ(report.recovered, 1u);
    EXPECT_EQ(report.neverRecovered, 0u);
    EXPECT_EQ(r.raw.bytes(), bodies(65538, 4));
}

TEST(DataReceiver, ReorderedDelayedAndDuplicatedPacketsComeOutOnceInOrder) {
    SinkConfig c;
    c.faults.reorderRate = 0.2;
    c.faults.duplicateRate = 0.2;
    c.faults.delayRate = 0.1;
    c.faults.delayUs = 300;
    c.faults.seed = 3;
    Receiver r(c);
    // 70000 packets: the numbers wrap once.
    for (uint32_t i = 0; i < 70000; ++i) r.rx.onData(dataPacket(static_cast<uint16_t>(i), 0, 8), uint64_t{i} * 100);
    r.rx.poll(uint64_t{70000} * 100 + 1000);
    const SinkReport report = r.finish();
    EXPECT_GT(report.reordered, 1000u);
    EXPECT_GT(report.duplicates, 1000u);
    EXPECT_EQ(report.packetsDelivered, 70000u);
    EXPECT_EQ(report.neverRecovered, 0u);
    EXPECT_EQ(r.raw.bytes(), bodies(70000, 8));

    // The sink's loop wakes when the oldest delayed packet is due, at once once it is late.
    SinkConfig d;
    d.faults.delayRate = 1.0;
    d.faults.delayUs = 300;
    Receiver delayed(d);
    delayed.rx.onData(dataPacket(0, 0, 8), 100);
    EXPECT_EQ(delayed.rx.nextDueUs(100, 20000), 300u);
    EXPECT_EQ(delayed.rx.nextDueUs(450, 20000), 0u);
    delayed.rx.poll(450);
    EXPECT_EQ(delayed.rx.nextDueUs(450, 20000), 20000u);
}

TEST(AudioWriter, DsdWordsBecomeDsfTimeOrder) {
    // The same 32 samples in the four wire layouts; in time order the bytes are
    // 0x01, 0x02, 0x04, 0x08 with the first sample in bit 0 (DSF).
    const std::pair<uint64_t, std::array<uint8_t, 4>> cases[] = {
        {StreamFormat::dsdLsbLittle, {0x01, 0x02, 0x04, 0x08}},
        {StreamFormat::dsdLsbBig, {0x08, 0x04, 0x02, 0x01}},
        {StreamFormat::dsdMsbBig, {0x80, 0x40, 0x20, 0x10}},
        {StreamFormat::dsdMsbLittle, {0x10, 0x20, 0x40, 0x80}},
    };
    for (const auto& [layout, word] : cases) {
        std::array<uint8_t, 4> out{};
        dsdWordToDsf(kDsd64Stereo | layout, word.data(), out.data());
        EXPECT_EQ(out, (std::array<uint8_t, 4>{0x01, 0x02, 0x04, 0x08})) << std::hex << layout;
    }
}

TEST(AudioWriter, DsfSplitsChannelsIntoBlocksAndCountsSamples) {
    const TempFile dsf(".dsf");
    const uint64_t format = kDsd64Stereo | StreamFormat::dsdMsbBig;
    // 1500 frames: channel 0 words count up, channel 1 words are 0xFF.
    std::vector<uint8_t> wire;
    for (uint32_t f = 0; f < 1500; ++f) {
        const uint8_t w[4] = {static_cast<uint8_t>(f), static_cast<uint8_t>(f >> 8), 0x80, 0x01};
        wire.insert(wire.end(), w, w + 4);
        wire.insert(wire.end(), 4, 0xFF);
    }
    {
        AudioWriter w("", dsf.path, "");
        ASSERT_TRUE(w.begin(format));
        w.write(std::span(wire).first(13));
        w.write(std::span(wire).subspan(13));
        w.end();
    }
    const std::vector<uint8_t> file = dsf.bytes();
    ASSERT_EQ(file.size(), 92 + 2 * 2 * 4096);   // 6000 bytes per channel in blocks of 4096
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "DSD ");
    EXPECT_EQ(std::string(file.begin() + 28, file.begin() + 32), "fmt ");
    EXPECT_EQ(readU64(file, 12), file.size());
    EXPECT_EQ(readU16(file, 52), 2);                        // channels
    EXPECT_EQ(readU64(file, 56) & 0xFFFFFFFF, 2822400u);    // rate
    EXPECT_EQ(readU64(file, 64), 1500u * 32);               // samples per channel
    EXPECT_EQ(std::string(file.begin() + 80, file.begin() + 84), "data");
    // Channel 0's first word (MSB first, big-endian) in DSF order, then channel 1's block.
    uint8_t first[4];
    dsdWordToDsf(format, wire.data(), first);
    EXPECT_TRUE(std::equal(first, first + 4, file.begin() + 92));
    EXPECT_EQ(file[92 + 4096], 0xFF);
    // Second block pair: channel 0 holds 1904 bytes, then zero padding; channel 1 follows.
    EXPECT_NE(file[92 + 8192 + 1903], 0x00);
    EXPECT_EQ(file[92 + 8192 + 1904], 0x00);
    EXPECT_EQ(file[92 + 8192 + 4096], 0xFF);
}

TEST(AudioWriter, WavHoldsTheSamplesEvenWhenSplitMidFrame) {
    const TempFile wav(".wav");
    const uint64_t stereo24 = 0x0000000C00000402ull;   // 2 ch, int24, 48 kHz
    std::vector<uint8_t> pcm(6 * 100);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 13);
    {
        AudioWriter w(wav.path, "", "");
        ASSERT_TRUE(w.begin(stereo24));
        w.write(std::span(pcm).first(7));   // split inside a frame
        w.write(std::span(pcm).subspan(7));
        w.end();
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(wav.path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.frames, 100);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
    std::vector<int> samples(200);
    EXPECT_EQ(sf_readf_int(f, samples.data(), 100), 100);
    sf_close(f);
    for (size_t i = 0; i < 200; ++i) {
        const uint32_t v = pcm[3 * i] | (pcm[3 * i + 1] << 8) | (pcm[3 * i + 2] << 16);
        EXPECT_EQ(static_cast<uint32_t>(samples[i]) >> 8, v) << i;
    }
}

// Each case: datagrams of (arrival us, bytes before the mark bytes, mark bytes, bytes after) in
// stream order, and the arrivals the log must name: the datagram where each long enough run of
// mark bytes began, across datagram boundaries.
TEST(MarkLog, TimesEachRunOfMarkBytesAtTheDatagramWhereItBegan) {
    struct Piece {
        uint64_t us;
        size_t before, marks, after;
    };
    struct Case {
        const char* what;
        std::vector<Piece> datagrams;
        std::vector<uint64_t> expected;
    };
    constexpr size_t run = blockmark::markRunBytes;
    const std::vector<Case> cases = {
        {"inside one datagram", {{10, 5, run + 3, 4}}, {10}},
        {"begun in the tail of one, ended in the next", {{10, 7, 3, 0}, {20, 0, run, 2}}, {10}},
        {"across three datagrams", {{10, 0, 1, 0}, {20, 0, run - 2, 0}, {30, 0, 4, 1}}, {10}},
        {"one byte short", {{10, 1, run - 1, 1}}, {}},
        {"broken by one other byte", {{10, 0, run - 1, 1}, {20, 0, run - 1, 0}}, {}},
        {"two marks", {{10, 1, run, 1}, {20, 2, run * 2, 3}}, {10, 20}},
    };
    for (const Case& c : cases) {
        MarkLog log;
        for (const Piece& p : c.datagrams) {
            std::vector<uint8_t> payload(p.before, 0x00);
            payload.insert(payload.end(), p.marks, blockmark::markByte);
            payload.insert(payload.end(), p.after, 0x5A);
            log.onPayload(payload, p.us);
        }
        EXPECT_EQ(log.arrivals(), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace sink
