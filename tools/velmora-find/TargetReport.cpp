#include "TargetReport.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace velmora_find {

std::string endpointText(const TERNO::Address& address) {
    return address.toStringWithPort() + "%" + std::to_string(address.scope);
}

namespace {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// Control characters would break the table's lines; they print as '?'.
std::string cell(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return out;
}

}  // namespace

std::string targetsAsTable(const VELMORA::TargetMap& targets) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"DESCRIPTION", "OUTPUT", "#", "STREAM ADDRESS", "VERSION", "INFORMATION"});
    for (const auto& [stream, target] : targets)
        rows.push_back({cell(target.description), cell(target.outputName), std::to_string(target.outputIndex),
                        endpointText(stream), std::to_string(target.version), cell(target.infoText)});
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        out += line + "\n";
    }
    return out;
}

std::string targetsAsJson(const VELMORA::TargetMap& targets) {
    std::string out = "[";
    bool first = true;
    for (const auto& [stream, target] : targets) {
        out += first ? "\n" : ",\n";
        first = false;
        out += "  {\"description\": " + jsonString(target.description) +
               ", \"outputName\": " + jsonString(target.outputName) +
               ", \"outputIndex\": " + std::to_string(target.outputIndex) +
               ", \"streamAddress\": " + jsonString(stream.toString()) +
               ", \"port\": " + std::to_string(stream.portNumber()) +
               ", \"scope\": " + std::to_string(stream.scope) +
               ", \"version\": " + std::to_string(target.version) +
               ", \"infoText\": " + jsonString(target.infoText) +
               ", \"findAddress\": " + jsonString(endpointText(target.findAddress)) + "}";
    }
    return out + (first ? "]\n" : "\n]\n");
}

}  // namespace velmora_find
