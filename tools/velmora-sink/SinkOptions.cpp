#include "SinkOptions.h"

#include <CLI/CLI.hpp>

#include <map>

namespace sink {

ParseResult parseOptions(const std::vector<std::string>& args, SinkConfig& c) {
    CLI::App app{"Reference network audio sink: answers the Sync control protocol, receives the "
                 "paced stream, requests resends, feeds back its clock and reports what arrived."};
    app.set_config("--config", "", "INI or TOML file with the same keys as the long options");

    app.add_option("--listen", c.listenAddress, "Address to listen on")->capture_default_str();
    app.add_option("--port", c.controlPort, "Control and data port (0: any free port)")->capture_default_str();
    app.add_option("--log-port", c.logPort, "Port for LOG_REQ (0: none)")->capture_default_str();
    app.add_option("--port-file", c.portFile, "Write the bound port to this file once listening");

    app.add_option("--pcm-caps", c.pcmCaps, "PCM capability mask (0: no PCM)");
    app.add_option("--dsd-lsb-caps", c.dsdLsbCaps, "DSD LSB-first capability mask (0: none)");
    app.add_option("--dsd-msb-caps", c.dsdMsbCaps, "DSD MSB-first capability mask (0: none)");

    app.add_option("--latency", c.latency, "Latency granted when none is requested (100 us)")->capture_default_str();
    app.add_option("--latency-max", c.latencyMax, "Largest latency granted (100 us)")->capture_default_str();
    app.add_option("--hw-latency", c.hwLatency, "Hardware latency (100 us)")->capture_default_str();
    app.add_option("--mtu", c.mtu, "MTU answered to DATASIZE_REQ")->capture_default_str();
    app.add_option("--max-burst", c.maxBurst, "Maximum burst bytes answered to DATASIZE_REQ")->capture_default_str();
    app.add_option("--profile-min", c.profileMin, "Profile answer: minimum cycle (10 us)")->capture_default_str();
    app.add_option("--profile-max", c.profileMax, "Profile answer: maximum cycle (10 us)")->capture_default_str();
    app.add_option("--profile-flags", c.profileFlags, "Profile answer: flags")->capture_default_str();
    app.add_flag("--invert", c.invertPolarity, "Ask the driver for inverted polarity");

    const std::map<std::string, FeedbackKind> kinds{{"none", FeedbackKind::None},
                                                    {"level", FeedbackKind::Level},
                                                    {"signed", FeedbackKind::Signed},
                                                    {"ratio", FeedbackKind::Ratio}};
    app.add_option("--feedback", c.feedback, "Feedback kind: none, level (A), signed (A, bit 15), ratio (B/C)")
        ->transform(CLI::CheckedTransformer(kinds, CLI::ignore_case));
    app.add_option("--ppm", c.ppm, "Sink clock offset in ppm (> 0: fast)")->capture_default_str();
    app.add_option("--resend-delay-us", c.resendDelayUs, "Age of a gap before it is requested")->capture_default_str();
    app.add_option("--resend-retry-us", c.resendRetryUs, "Repeat an unanswered request after")->capture_default_str();
    app.add_flag("--resend-in-info", c.resendInInfo, "Answer info requests with a resend request while a gap is open");

    FaultConfig& f = c.faults;
    app.add_option("--drop-rate", f.dropRate, "Fraction of new data packets dropped")->check(CLI::Range(0.0, 1.0));
    app.add_option("--drop-packets", f.dropPackets, "Indexes of new data packets dropped once")->delimiter(',');
    app.add_option("--duplicate-rate", f.duplicateRate, "Fraction of data packets delivered twice")->check(CLI::Range(0.0, 1.0));
    app.add_option("--reorder-rate", f.reorderRate, "Fraction of data packets held behind the next")->check(CLI::Range(0.0, 1.0));
    app.add_option("--delay-rate", f.delayRate, "Fraction of data packets delayed")->check(CLI::Range(0.0, 1.0));
    app.add_option("--delay-us", f.delayUs, "Delay of a delayed packet")->capture_default_str();
    app.add_option("--fault-from", f.faultFrom, "First new-packet index random faults apply to");
    app.add_option("--fault-until", f.faultUntil, "New-packet index where random faults stop");
    app.add_option("--stop-answering-after", f.stopAnsweringAfter, "Answer nothing after this many data packets of a stream");
    app.add_option("--silent-ms", f.silentMs, "Answer again this long after stopping (0: never); Find stops too");
    app.add_option("--close-after", f.closeAfter, "Close the stream after this many data packets");
    app.add_option("--fault-streams", f.faultStreams, "Streams the two options above hit (0: every one)")
        ->capture_default_str();
    app.add_option("--foreign-answers", f.foreignAnswers, "off, decoy or only")
        ->check(CLI::IsMember({"off", "decoy", "only"}));
    app.add_option("--flood", f.floodRate, "Foreign and malformed datagrams per second at the driver while it streams");
    app.add_option("--seed", f.seed, "Seed of the random faults")->capture_default_str();

    app.add_option("--wav", c.wavPath, "Write PCM to this WAV file");
    app.add_option("--dsd-out", c.dsdPath, "Write DSD to this file (.dsf: DSF, else raw)");
    app.add_option("--raw-out", c.rawPath, "Write every payload byte in sequence order");
    app.add_option("--report", c.reportPath, "Write the JSON report here on exit");
    app.add_option("--expected-cycle-us", c.expectedCycleUs, "Cycle that burst deviations and lateness are measured from");
    app.add_option("--burst-log", c.burstLogPath, "Write each burst's start (us), packets and bytes here");
    app.add_option("--mark-log", c.markLogPath,
                   "Write the arrival (us) of each latency mark velmora-play --mark-every sends here");

    app.add_option("--streams", c.streams, "Streams served before the sink ends (0: any number)")->capture_default_str();
    app.add_option("--time-limit", c.timeLimitS, "End after this many seconds")->capture_default_str();
    app.add_option("--idle-timeout", c.idleTimeoutS, "End a started stream that goes quiet this long")->capture_default_str();
    app.add_option("--linger-ms", c.lingerMs, "Stay this long after the closing handshake")->capture_default_str();
    app.add_flag("--quiet", c.quiet, "Print only the port line");

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    if (!reversed.empty()) reversed.pop_back();   // program name
    ParseResult result;
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        result.exitCode = e.get_exit_code();
        result.message = e.get_exit_code() == 0 ? app.help() : std::string(e.what());
        return result;
    }
    if (c.timeLimitS <= 0) {
        result.exitCode = 2;
        result.message = "--time-limit must be positive";
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace sink
