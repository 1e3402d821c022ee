#include "common/CounterText.h"

#include <cstdio>

using VELMORA::counterFields;

std::string describeCounters(const VELMORA::CounterValues& now, const VELMORA::CounterValues* before) {
    std::string text;
    for (size_t i = 0; i < now.size(); ++i) {
        if (!text.empty()) text += "  ";
        text += counterFields[i].key;
        text += ' ';
        text += std::to_string(now[i]);
        if (before && counterFields[i].grows && now[i] != (*before)[i]) {
            const long long change = now[i] - (*before)[i];
            text += change > 0 ? " (+" : " (";
            text += std::to_string(change) + ")";
        }
    }
    return text;
}

std::string tabulateCounters(const VELMORA::CounterValues& values, const std::string& indent) {
    std::string text;
    char line[96];
    for (size_t i = 0; i < values.size(); ++i) {
        std::snprintf(line, sizeof line, "%-28.*s %12lld\n", static_cast<int>(counterFields[i].meaning.size()),
                      counterFields[i].meaning.data(), static_cast<long long>(values[i]));
        text += indent + line;
    }
    return text;
}
