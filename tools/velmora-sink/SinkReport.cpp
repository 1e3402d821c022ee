#include "SinkReport.h"

#include "sync/StreamFormat.h"

#include <cstdio>
#include <sstream>

namespace sink {

using VELMORA::StreamFormat;

namespace {

const char* typeName(uint64_t type) {
    switch (type) {
    case StreamFormat::typeInt8: return "int8";
    case StreamFormat::typeInt16: return "int16";
    case StreamFormat::typeInt24: return "int24";
    case StreamFormat::typeInt32: return "int32";
    case StreamFormat::typeInt64: return "int64";
    case StreamFormat::typeFloat32: return "float32";
    case StreamFormat::typeFloat64: return "float64";
    case StreamFormat::typeDsd1: return "dsd1";
    case StreamFormat::typeDsd8: return "dsd8";
    default: return "unknown";
    }
}

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

}  // namespace

std::string describeFormat(uint64_t word) {
    const StreamFormat f(word);
    std::ostringstream out;
    out << (f.isDsd() ? "DSD " : f.isPcm() ? "PCM " : "? ") << f.channels() << "ch " << typeName(word & StreamFormat::typeMask);
    if (f.isDsd()) {
        out << ((word & StreamFormat::dsdLsbFirst) ? " LSB" : " MSB");
        out << ((word & StreamFormat::dsdLittleEndian) ? " little" : " big");
    }
    out << ' ' << f.rate() << "Hz";
    return out.str();
}

std::string toJson(const SinkReport& r) {
    auto text = [](const std::string& s) {
        std::string out = "\"";
        for (char c : s) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += c;
            }
        }
        return out + "\"";
    };
    // The lost runs as "at_byte:count" pairs, the form velmora-check --gaps takes, and in full.
    std::string gaps, runs;
    for (const LostRun& l : r.lost) {
        gaps += (gaps.empty() ? "" : ",") + std::to_string(l.atByte) + ":" + std::to_string(l.count);
        runs += std::string(runs.empty() ? "" : ", ") + "{\"first\": " + std::to_string(l.first) +
                ", \"count\": " + std::to_string(l.count) + ", \"at_byte\": " + std::to_string(l.atByte) + "}";
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "\"0x%016llx\"", static_cast<unsigned long long>(r.format));
    std::ostringstream o;
    o << "{\n"
      << "  \"client_name\": " << text(r.clientName) << ",\n"
      << "  \"format\": " << hex << ",\n"
      << "  \"format_text\": " << text(describeFormat(r.format)) << ",\n"
      << "  \"format_accepted\": " << (r.formatAccepted ? "true" : "false") << ",\n"
      << "  \"latency_granted_us\": " << r.latencyGranted * 100u << ",\n"
      << "  \"profile\": {\"min\": " << r.profileMin << ", \"max\": " << r.profileMax << ", \"flags\": " << r.profileFlags << "},\n"
      << "  \"polarity_inverted\": " << (r.polarityInverted ? "true" : "false") << ",\n"
      << "  \"connects\": " << r.connects << ",\n"
      << "  \"packets_received\": " << r.packetsReceived << ",\n"
      << "  \"packets_delivered\": " << r.packetsDelivered << ",\n"
      << "  \"duplicates\": " << r.duplicates << ",\n"
      << "  \"resend_requests\": " << r.resendRequests << ",\n"
      << "  \"recovered\": " << r.recovered << ",\n"
      << "  \"late_arrivals\": " << r.lateArrivals << ",\n"
      << "  \"never_recovered\": " << r.neverRecovered << ",\n"
      << "  \"lost_packets\": [" << runs << "],\n"
      << "  \"lost_at\": " << text(gaps) << ",\n"
      << "  \"out_of_window\": " << r.outOfWindow << ",\n"
      << "  \"malformed\": " << r.malformed << ",\n"
      << "  \"payload_bytes\": " << r.payloadBytes << ",\n"
      << "  \"info_requests\": " << r.infoRequests << ",\n"
      << "  \"feedback_sent\": " << r.feedbackSent << ",\n"
      << "  \"last_feedback_sample\": " << r.lastFeedbackSample << ",\n"
      << "  \"faults\": {\"dropped\": " << r.dropped << ", \"duplicated\": " << r.duplicated
      << ", \"reordered\": " << r.reordered << ", \"delayed\": " << r.delayed << ", \"flood\": " << r.floodSent << "},\n"
      << "  \"bursts\": {\"count\": " << r.bursts.bursts << ", \"interval_mean_us\": " << number(r.bursts.meanUs)
      << ", \"interval_p50_us\": " << number(r.bursts.p50Us) << ", \"interval_p99_us\": " << number(r.bursts.p99Us)
      << ", \"max_deviation_us\": " << number(r.bursts.maxDeviationUs)
      << ", \"p99_deviation_us\": " << number(r.bursts.p99DeviationUs) << ", \"cycle_us\": " << number(r.bursts.cycleUs)
      << ", \"usual_packets\": " << r.bursts.usualPackets << ", \"oversized\": " << r.bursts.oversized
      << ", \"lateness_p50_us\": " << number(r.bursts.latenessP50Us) << ", \"lateness_p99_us\": "
      << number(r.bursts.latenessP99Us) << ", \"lateness_max_us\": " << number(r.bursts.latenessMaxUs) << "},\n"
      << "  \"stream_seconds\": " << number(r.streamSeconds) << ",\n"
      << "  \"byte_rate\": " << number(r.byteRate) << ",\n"
      << "  \"nominal_byte_rate\": " << number(r.nominalByteRate) << ",\n"
      << "  \"rate_ratio\": " << number(r.nominalByteRate > 0 ? r.byteRate / r.nominalByteRate : 0.0) << ",\n"
      << "  \"end_reason\": " << text(r.endReason) << ",\n"
      << "  \"closing_handshake\": " << (r.closingHandshake ? "true" : "false") << "\n"
      << "}\n";
    return o.str();
}

bool writeReport(const std::string& path, const SinkReport& report) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    const std::string json = toJson(report);
    const bool ok = std::fwrite(json.data(), 1, json.size(), f) == json.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace sink
