// The counter line: written from the counter table, read back by the log viewers.
#include "sync/SessionCounters.h"

#include <charconv>

#include "log/LogLine.h"

namespace VELMORA {

bool SessionCounters::wanted() { return logLevel() >= 6; }

void SessionCounters::reset() {
    for (auto& value : values_) value.store(0, std::memory_order_relaxed);
}

CounterValues SessionCounters::snapshot() const {
    CounterValues values{};
    for (size_t i = 0; i < values.size(); ++i) values[i] = values_[i].load(std::memory_order_relaxed);
    return values;
}

void SessionCounters::log() const {
    LogLine line(6);
    if (line.active()) appendCounters(line, snapshot());
}

void appendCounters(LogLine& line, const CounterValues& values) {
    line << counterLineWord.data();
    for (size_t i = 0; i < values.size(); ++i) line << " " << counterFields[i].key.data() << "=" << values[i];
}

bool parseCounterLine(std::string_view message, CounterValues& values) {
    if (message.substr(0, counterLineWord.size()) != counterLineWord) return false;
    std::string_view rest = message.substr(counterLineWord.size());
    if (!rest.empty() && rest.front() != ' ') return false;   // another word that starts alike

    CounterValues read{};
    std::array<bool, counter::count> seen{};
    while (!rest.empty()) {
        const size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const size_t end = rest.find(' ');
        const std::string_view pair = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);

        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos) return false;
        const std::string_view key = pair.substr(0, equals), text = pair.substr(equals + 1);
        size_t id = 0;
        while (id < counterFields.size() && counterFields[id].key != key) ++id;
        if (id == counterFields.size()) continue;   // a counter this reader does not know
        int64_t value = 0;
        const auto [next, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || next != text.data() + text.size() || seen[id]) return false;
        read[id] = value;
        seen[id] = true;
    }
    for (bool s : seen)
        if (!s) return false;
    values = read;
    return true;
}

}  // namespace VELMORA
