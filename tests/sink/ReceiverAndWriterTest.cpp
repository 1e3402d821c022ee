// The receiver end to end without sockets (faults, resend requests, feedback, output
// order), and the audio containers.
#include "AudioWriter.h"
#include "DataReceiver.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace sink {
namespace {

constexpr uint64_t kStereo16At48k = 0x0000000C00000202ull;   // 2 ch, int16, 48 kHz ×1

std::vector<uint8_t> dataPacket(uint16_t seq, uint16_t fl, size_t bytes) {
    std::vector<uint8_t> body(bytes);
    for (size_t i = 0; i < bytes; ++i) body[i] = static_cast<uint8_t>(seq * 7 + i);
    return frameWithPayload(Header(DATA, fl, seq), body);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct Sent {
    std::vector<std::vector<uint8_t>> frames;
    DataReceiver::Send fn() {
        return [this](Bytes f) { frames.emplace_back(f.begin(), f.end()); };
    }
};

TEST(DataReceiver, RecoversDroppedPacketsThroughResendRequests) {
    const std::string raw = ::testing::TempDir() + "sink-receiver.raw";
    SinkConfig c;
    c.faults.dropPackets = {2, 3};
    c.resendDelayUs = 1000;
    c.invertPolarity = true;
    AudioWriter writer("", "", raw);
    ASSERT_TRUE(writer.begin(kStereo16At48k));
    Sent sent;
    DataReceiver rx(c, writer, sent.fn());
    rx.begin(kStereo16At48k, 0);
    // Packets 0..5; new-packet indexes 2 and 3 vanish.
    for (uint16_t s = 0; s < 6; ++s) rx.onData(dataPacket(s, kBurstEnd, 20), 100 + s);
    EXPECT_TRUE(sent.frames.empty());              // too young to be asked for
    rx.poll(1200);
    ASSERT_EQ(sent.frames.size(), 1u);
    const auto& req = sent.frames[0];
    EXPECT_EQ(command(req), STATUS);
    EXPECT_EQ(flags(req), kResendRequest | kPolarityInvert);
    EXPECT_EQ(readU16(req, 10), 2);                // first missing
    EXPECT_EQ(readU16(req, 12), 5);                // newest seen
    // The driver resends everything from 2 on; 4 and 5 arrive twice.
    for (uint16_t s = 2; s < 6; ++s) rx.onData(dataPacket(s, 0, 20), 1300);
    rx.onData(dataPacket(6, kInfoRequest | kBurstEnd, 20), 1400);
    ASSERT_EQ(sent.frames.size(), 2u);
    EXPECT_EQ(flags(sent.frames[1]) & kResendRequest, 0);   // the feedback answer
    EXPECT_EQ(flags(sent.frames[1]) & kPolarityInvert, kPolarityInvert);
    EXPECT_NE(readU16(sent.frames[1], 8), 0);               // level feedback A
    SinkReport report;
    rx.finish(report);
    writer.end();
    EXPECT_EQ(report.packetsDelivered, 7u);
    EXPECT_EQ(report.recovered, 2u);
    EXPECT_EQ(report.duplicates, 2u);
    EXPECT_EQ(report.neverRecovered, 0u);
    EXPECT_EQ(report.resendRequests, 1u);
    EXPECT_EQ(report.infoRequests, 1u);
    std::vector<uint8_t> expected;
    for (uint16_t s = 0; s < 7; ++s) {
        const auto p = dataPacket(s, 0, 20);
        expected.insert(expected.end(), p.begin() + 16, p.begin() + 36);
    }
    EXPECT_EQ(readFile(raw), expected);
    std::remove(raw.c_str());
}

TEST(DataReceiver, ResendRequestSpansTheSequenceWrap) {
    SinkConfig c;
    c.faults.dropPackets = {65535};   // sequence number 65535
    c.resendDelayUs = 100;
    AudioWriter writer("", "", "");
    Sent sent;
    DataReceiver rx(c, writer, sent.fn());
    rx.begin(kStereo16At48k, 0);
    for (uint32_t i = 0; i < 65538; ++i) rx.onData(dataPacket(static_cast<uint16_t>(i), 0, 4), 10);
    rx.poll(200);
    ASSERT_EQ(sent.frames.size(), 1u);
    EXPECT_EQ(readU16(sent.frames[0], 10), 65535);   // first missing
    EXPECT_EQ(readU16(sent.frames[0], 12), 1);       // newest seen, past the wrap
    rx.onData(dataPacket(65535, 0, 4), 300);
    SinkReport report;
    rx.finish(report);
    EXPECT_EQ(report.packetsDelivered, 65538u);
    EXPECT_EQ(report.recovered, 1u);
    EXPECT_EQ(report.neverRecovered, 0u);
}

TEST(DataReceiver, ReorderedDelayedAndDuplicatedPacketsComeOutOnceInOrder) {
    const std::string raw = ::testing::TempDir() + "sink-receiver2.raw";
    SinkConfig c;
    c.faults.reorderRate = 0.2;
    c.faults.duplicateRate = 0.2;
    c.faults.delayRate = 0.1;
    c.faults.delayUs = 300;
    c.faults.seed = 3;
    AudioWriter writer("", "", raw);
    ASSERT_TRUE(writer.begin(kStereo16At48k));
    Sent sent;
    DataReceiver rx(c, writer, sent.fn());
    rx.begin(kStereo16At48k, 0);
    // 70000 packets: the numbers wrap once.
    std::vector<uint8_t> expected;
    for (uint32_t i = 0; i < 70000; ++i) {
        const uint16_t s = static_cast<uint16_t>(i);
        const auto p = dataPacket(s, 0, 8);
        expected.insert(expected.end(), p.begin() + 16, p.begin() + 24);
        rx.onData(p, uint64_t{i} * 100);
    }
    rx.poll(uint64_t{70000} * 100 + 1000);
    SinkReport report;
    rx.finish(report);
    writer.end();
    EXPECT_GT(report.reordered, 1000u);
    EXPECT_GT(report.duplicates, 1000u);
    EXPECT_EQ(report.packetsDelivered, 70000u);
    EXPECT_EQ(report.neverRecovered, 0u);
    EXPECT_EQ(readFile(raw), expected);
    std::remove(raw.c_str());
}

TEST(AudioWriter, DsdWordsBecomeDsfTimeOrder) {
    // The same 32 samples in the four wire layouts; in time order the bytes are
    // 0x01, 0x02, 0x04, 0x08 with the first sample in bit 0 (DSF).
    const uint8_t lsbLittle[4] = {0x01, 0x02, 0x04, 0x08};
    const uint8_t lsbBig[4] = {0x08, 0x04, 0x02, 0x01};
    const uint8_t msbBig[4] = {0x80, 0x40, 0x20, 0x10};
    const uint8_t msbLittle[4] = {0x10, 0x20, 0x40, 0x80};
    const uint64_t base = 0x0000020200000002ull;
    const std::pair<uint64_t, const uint8_t*> cases[] = {
        {base | VELMORA::StreamFormat::dsdLsbLittle, lsbLittle},
        {base | VELMORA::StreamFormat::dsdLsbBig, lsbBig},
        {base | VELMORA::StreamFormat::dsdMsbBig, msbBig},
        {base | VELMORA::StreamFormat::dsdMsbLittle, msbLittle},
    };
    for (const auto& [format, word] : cases) {
        uint8_t out[4];
        dsdWordToDsf(format, word, out);
        EXPECT_EQ(out[0], 0x01);
        EXPECT_EQ(out[1], 0x02);
        EXPECT_EQ(out[2], 0x04);
        EXPECT_EQ(out[3], 0x08);
    }
}

TEST(AudioWriter, DsfSplitsChannelsIntoBlocksAndCountsSamples) {
    const std::string dsf = ::testing::TempDir() + "sink-writer.dsf";
    const uint64_t format = 0x0000020200000002ull | VELMORA::StreamFormat::dsdMsbBig;   // DSD64 stereo
    // 1500 frames: channel 0 words count up, channel 1 words are 0xFF.
    std::vector<uint8_t> wire;
    for (uint32_t f = 0; f < 1500; ++f) {
        const uint8_t w[4] = {static_cast<uint8_t>(f), static_cast<uint8_t>(f >> 8), 0x80, 0x01};
        wire.insert(wire.end(), w, w + 4);
        wire.insert(wire.end(), 4, 0xFF);
    }
    {
        AudioWriter w("", dsf, "");
        ASSERT_TRUE(w.begin(format));
        w.write(std::span(wire).first(13));
        w.write(std::span(wire).subspan(13));
        w.end();
    }
    const std::vector<uint8_t> file = readFile(dsf);
    const size_t blocks = 2;   // 6000 bytes per channel in blocks of 4096
    ASSERT_EQ(file.size(), 92 + blocks * 2 * 4096);
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
    std::remove(dsf.c_str());
}

TEST(AudioWriter, WavHoldsTheSamplesEvenWhenSplitMidFrame) {
    const std::string wav = ::testing::TempDir() + "sink-writer.wav";
    const uint64_t stereo24 = 0x0000000C00000402ull;   // 2 ch, int24, 48 kHz
    std::vector<uint8_t> pcm(6 * 100);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 13);
    {
        AudioWriter w(wav, "", "");
        ASSERT_TRUE(w.begin(stereo24));
        w.write(std::span(pcm).first(7));              // split inside a frame
        w.write(std::span(pcm).subspan(7));
        w.end();
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
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
    std::remove(wav.c_str());
}

}  // namespace
}  // namespace sink
