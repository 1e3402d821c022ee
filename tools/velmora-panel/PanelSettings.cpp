#include "PanelSettings.h"

const std::vector<MainSetting>& mainSettings() {
    static const std::vector<MainSetting> settings = {
        {"LatencyBuffer", "&Latency buffer:", "\xC2\xB5s", {}},
        {"PCMRequest", "Sample &format:", "", {
            {"32-bit (default)", "32"}, {"24-bit", "24"}, {"16-bit", "16"}, {"64-bit", "64"},
            {"32-bit integers from the host, converted for the sink (CovertS32)", "CovertS32"}}},
        {"DSDMSB", "&DSD bit order:", "", {
            {"Least significant bit first (default)", ""}, {"Most significant bit first", "enable"}}},
        {"StartDelay", "&Start delay:", "\xC2\xB5s", {}},
        {"SyncBufferCount", "&Ring blocks:", "blocks", {}},
        {"Debug", "Write a debu&g log", "", {{"on", "enable"}}},
    };
    return settings;
}

int choiceIndex(const MainSetting& setting, const std::string& value) {
    for (size_t i = 0; i < setting.choices.size(); ++i) {
        if (value == setting.choices[i].value) return static_cast<int>(i);
    }
    // An absent key takes its default, which every list offers first.
    return value.empty() && !setting.choices.empty() ? 0 : -1;
}

bool PanelSettings::open(std::string& error) {
    const bool opened = editor_.open(error);
    discard();
    return opened;
}

std::string PanelSettings::value(const std::string& key, bool lowSection) const {
    IniFile view;
    view.assign(draft_);
    view.select(lowSection ? DriverSettings::lowSection : IniFile::globalSection);
    return view.get(key);
}

std::string PanelSettings::set(const std::string& key, const std::string& value, bool lowSection) {
    return editor_.edit(draft_, key, value, lowSection);
}

std::string PanelSettings::restoreFactory() {
    IniFile factory;
    if (std::string why = editor_.factory(factory); !why.empty()) return why;
    draft_ = IniFile{};
    draft_.assign(factory);
    return {};
}

std::string PanelSettings::apply() { return changed() ? editor_.write(draft_) : std::string(); }

void PanelSettings::discard() {
    draft_ = IniFile{};
    draft_.assign(editor_.file());
}
