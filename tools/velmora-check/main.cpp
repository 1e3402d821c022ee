// velmora-check: is a sink's capture the counter pattern, bit for bit?

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "CaptureCheck.h"

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    std::vector<uint64_t> resumeAt;
    WireLayout layout;
    Expectation expect;
    bool json = false;
    CLI::App app{"Checks a sink capture (--raw-out of velmora-sink) against velmora-play's counter pattern."};
    app.add_option("capture", paths, "The capture file; several are read as one, in order (a sink run again)")
        ->required();
    app.add_option("--resume-at", resumeAt, "Step at which the signal resumed after each gap (velmora-play's report)")
        ->delimiter(',');
    app.add_option("--channels", layout.channels, "Channels in the stream")->check(CLI::Range(1, 16));
    app.add_option("--host-bytes", layout.hostBytes, "Bytes per host sample (2, 3, 4, 8)");
    app.add_option("--wire-bytes", layout.wireBytes, "Bytes per sample on the wire");
    app.add_option("--host-offset", layout.hostOffset, "First host byte the wire keeps (narrowing: 1 for 24-bit, 2 for 16-bit)");
    app.add_option("--zero-prefix", layout.zeroPrefix, "Zero bytes before the host bytes (4 for a 32-bit sample widened to 64)");
    app.add_flag("--dsd", layout.dsd, "DSD stream (host byte b of channel c is pattern sample b x channels + c)");
    app.add_flag("--dsd-words", layout.dsdWords, "DSD interleaved in 32-bit words");
    app.add_flag("--swap32", layout.swap32, "Bytes of each 32-bit word reversed on the way");
    app.add_flag("--bit-reverse", layout.bitReverse, "Bits of each byte reversed on the way");
    app.add_flag("--invert", layout.invert, "Every byte complemented on the way (inverted polarity)");
    app.add_option("--host-silence", layout.hostSilence, "Byte of the host side's silence (DSD: 105 = 0x69, 150 = 0x96)");
    app.add_option("--min-steps,--min-frames", expect.steps,
                   "Pattern steps (frames) that must arrive: all the host played");
    app.add_option("--block-steps", expect.blockSteps, "Steps in one host block (underruns are counted in blocks)");
    app.add_flag("--json", json, "Print the result as JSON");
    std::string gapText;
    app.add_option("--gaps", gapText, "Packets the sink gave up on, as BYTE:COUNT,... (its report's lost_at)");
    CLI11_PARSE(app, argc, argv);

    std::vector<uint8_t> capture;
    for (const std::string& path : paths) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "velmora-check: cannot read %s\n", path.c_str());
            return 2;
        }
        capture.insert(capture.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<LostGap> gaps;
    for (size_t at = 0; at < gapText.size();) {
        const size_t end = std::min(gapText.find(',', at), gapText.size());
        const std::string item = gapText.substr(at, end - at);
        const size_t colon = item.find(':');
        if (colon == std::string::npos) {
            std::fprintf(stderr, "velmora-check: --gaps takes BYTE:COUNT pairs, not %s\n", item.c_str());
            return 2;
        }
        gaps.push_back({std::stoull(item.substr(0, colon)), std::stoull(item.substr(colon + 1))});
        at = end + 1;
    }
    const CheckResult r = checkCapture(layout, capture, gaps, resumeAt, expect);
    if (json)
        std::printf("{\"exact\": %s, \"steps\": %llu, \"runs\": %llu, \"leading_bytes\": %llu, "
                    "\"trailing_bytes\": %llu, \"underruns\": %llu, \"silent_steps\": %llu, "
                    "\"packets_lost_after_end\": %llu, \"message\": \"%s\"}\n",
                    r.exact ? "true" : "false", static_cast<unsigned long long>(r.steps),
                    static_cast<unsigned long long>(r.runs), static_cast<unsigned long long>(r.leadingBytes),
                    static_cast<unsigned long long>(r.trailingBytes), static_cast<unsigned long long>(r.underruns),
                    static_cast<unsigned long long>(r.silentSteps), static_cast<unsigned long long>(r.packetsLostAfterEnd),
                    r.message.c_str());
    else
        std::printf("%s: %llu steps in %llu runs after %llu bytes of leading silence, %llu bytes of silence after\n",
                    r.message.c_str(), static_cast<unsigned long long>(r.steps), static_cast<unsigned long long>(r.runs),
                    static_cast<unsigned long long>(r.leadingBytes), static_cast<unsigned long long>(r.trailingBytes));
    return r.exact ? 0 : 1;
}
