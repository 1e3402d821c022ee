#pragma once
// The sink page's list: the targets a search found, which one the driver uses, and the keys
// that choosing one writes.

#include <string>
#include <utility>
#include <vector>

#include "driver/DriverSettings.h"
#include "find/Target.h"

enum class SinkMark { None, InUse, FirstFound };

struct SinkRow {
    TERNO::Address streamAddress{};
    VELMORA::Target target;
    SinkMark mark = SinkMark::None;
    bool listed = true;   // false: the configured target, which the search did not find
};

// The rows for the targets found, in address order, as the driver with settings would see
// them: with a TargetAddress the output at that address (and TargetPO) is in use, and is
// added unlisted when the search did not find it; without one the first target found is.
std::vector<SinkRow> sinkRows(const VELMORA::TargetMap& targets, const SettingsKeyValues& settings);

// The keys and values that make the driver use this row's output; null: "Automatic" (the
// first sink found), which removes both keys.
std::vector<std::pair<std::string, std::string>> choiceKeys(const SinkRow* row);

// The row that TargetAddress/TargetPO values (as written in the file) choose: -1 for
// "Automatic" (no target address), -2 when no row holds that output.
constexpr int automaticRow = -1;
constexpr int noRow = -2;
int chosenRow(const std::vector<SinkRow>& rows, const std::string& targetAddress, const std::string& targetPO);

// The list's columns for a row: sink and output, output index, address, version, mark.
std::vector<std::string> sinkCells(const SinkRow& row);
std::vector<std::string> sinkColumns();

// The line under the list: "Searching...", how many were found, or why none.
std::string searchStatus(bool searching, bool complete, const std::vector<SinkRow>& rows);
