#pragma once
// The driver's session counters put into words for people, by velmora-log and velmora-play.

#include <string>

#include "sync/SessionCounters.h"

// One line in the order of the driver's counter line: "sent 4410 (+441)  resent 3  late 0 ...".
// With `before`, a counter that grows shows its change since then (when it changed).
std::string describeCounters(const VELMORA::CounterValues& now, const VELMORA::CounterValues* before);

// One counter a line with its meaning, each line starting with indent: a run's summary.
std::string tabulateCounters(const VELMORA::CounterValues& values, const std::string& indent);
