#include "SinkList.h"

#include <set>

#include "driver/SettingsKeys.h"
#include "find/FindProtocol.h"

namespace {

// The driver finds a configured target by its address bytes and output index alone.
bool isTarget(const VELMORA::Target& target, const SettingsKeyValues& settings) {
    return target.findAddress.bytes == settings.targetAddress.bytes && target.outputIndex == settings.targetPO;
}

// TargetAddress and TargetPO read by the key table, as the driver reads them.
SettingsKeyValues targetValues(const std::string& targetAddress, const std::string& targetPO) {
    SettingsKeyValues values;
    if (!targetAddress.empty()) findSettingKey("TargetAddress")->apply(values, targetAddress);
    if (!targetPO.empty()) findSettingKey("TargetPO")->apply(values, targetPO);
    return values;
}

}  // namespace

std::vector<SinkRow> sinkRows(const VELMORA::TargetMap& targets, const SettingsKeyValues& settings) {
    std::vector<SinkRow> rows;
    const bool fixed = !VELMORA::isZeroAddress(settings.targetAddress);
    bool marked = false;
    for (const auto& [streamAddress, target] : targets) {
        SinkRow row{streamAddress, target, SinkMark::None, true};
        if (!marked && (fixed ? isTarget(target, settings) : rows.empty())) {
            row.mark = fixed ? SinkMark::InUse : SinkMark::FirstFound;
            marked = true;
        }
        rows.push_back(std::move(row));
    }
    if (fixed && !marked) {
        SinkRow missing;
        missing.target.findAddress = settings.targetAddress;
        missing.target.outputIndex = settings.targetPO;
        missing.mark = SinkMark::InUse;
        missing.listed = false;
        rows.push_back(std::move(missing));
    }
    return rows;
}

std::vector<std::pair<std::string, std::string>> choiceKeys(const SinkRow* row) {
    if (!row) return {{"TargetAddress", ""}, {"TargetPO", ""}};
    TERNO::Address address = row->target.findAddress;
    if (address.port == 0) address.setPortNumber(VELMORA::FindProtocol::findPort);
    return {{"TargetAddress", address.toStringWithPort()}, {"TargetPO", std::to_string(row->target.outputIndex)}};
}

int chosenRow(const std::vector<SinkRow>& rows, const std::string& targetAddress, const std::string& targetPO) {
    const SettingsKeyValues values = targetValues(targetAddress, targetPO);
    if (VELMORA::isZeroAddress(values.targetAddress)) return automaticRow;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (isTarget(rows[i].target, values)) return static_cast<int>(i);
    }
    return noRow;
}

std::vector<std::string> sinkColumns() { return {"Sink (output)", "Output", "Address", "Version", "In use", "Information"}; }

std::vector<std::string> sinkCells(const SinkRow& row) {
    const VELMORA::Target& target = row.target;
    const char* mark = row.mark == SinkMark::InUse ? "in use" : row.mark == SinkMark::FirstFound ? "first found" : "";
    if (!row.listed)
        return {"(not found on the network)", std::to_string(target.outputIndex), target.findAddress.toString(), "", mark, ""};
    const TERNO::Address& stream = row.streamAddress;
    return {target.description,
            std::to_string(target.outputIndex),
            stream.toString() + "%" + std::to_string(stream.scope) + " port " + std::to_string(stream.portNumber()),
            std::to_string(target.version),
            mark,
            target.infoText};
}

std::string searchStatus(bool searching, bool complete, const std::vector<SinkRow>& rows) {
    if (searching) return "Searching for sinks...";
    if (!complete) return "The search failed (network error). Press Refresh to try again.";
    std::set<std::array<uint8_t, 16>> sinks;
    size_t outputs = 0;
    std::string missing;
    for (const SinkRow& row : rows) {
        if (row.listed) {
            sinks.insert(row.target.findAddress.bytes);
            ++outputs;
        } else {
            missing = " The chosen sink " + row.target.findAddress.toString() + " (output " +
                      std::to_string(row.target.outputIndex) + ") did not answer.";
        }
    }
    if (outputs == 0) return "No sink found: check that it is switched on and on this network, then press Refresh." + missing;
    return std::to_string(outputs) + (outputs == 1 ? " output" : " outputs") + " found on " + std::to_string(sinks.size()) +
           (sinks.size() == 1 ? " sink." : " sinks.") + missing;
}
