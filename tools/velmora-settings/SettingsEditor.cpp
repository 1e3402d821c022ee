#include "SettingsEditor.h"

#include <algorithm>
#include <cctype>

#include "platform/Files.h"

namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

const char* sectionOf(bool lowSection) { return lowSection ? DriverSettings::lowSection : IniFile::globalSection; }

}  // namespace

SettingsEditor::SettingsEditor(SettingsEnvironment environment) : environment_(std::move(environment)) {}

bool SettingsEditor::open(std::string& error) {
    located_.locate(environment_);
    path_ = located_.settingPath;
    if (located_.readOnlyFallback) {
        path_ = environment_.settingsFolder + "\\" + DriverSettings::settingsFileName;
        if (platform::fileExists(path_)) {
            error = "the settings file " + platform::nativePath(path_) +
                    " cannot be read (a tab or other control character makes the driver ignore it): "
                    "fix it by hand or reset it to the factory settings";
            return false;
        }
        const std::string factory = platform::readFile(located_.factoryPath).value_or("");
        if (!platform::createFolder(environment_.settingsFolder) || !platform::writeFile(path_, factory)) {
            error = "cannot create " + platform::nativePath(path_);
            return false;
        }
    }
    file_ = IniFile{};
    if (!file_.load(path_)) {
        error = "cannot read " + platform::nativePath(path_);
        return false;
    }
    return true;
}

std::vector<SettingRow> SettingsEditor::rowsOf(const IniFile& file, bool lowSection) {
    IniFile view;
    view.assign(file);
    view.select(sectionOf(lowSection));
    std::vector<SettingRow> rows;
    for (const SettingKey& key : settingKeys()) {
        if (lowSection && !key.lowProfileKey) continue;
        SettingRow row{&key, view.get(key.name), {}};
        row.problem = settingProblem(key.name, row.value, lowSection);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string SettingsEditor::check(const std::string& name, const std::string& value, bool lowSection) const {
    const std::string problem = settingProblem(name, value, lowSection);
    const SettingKey* key = findSettingKey(name);
    if (problem.empty() || !key || (lowSection && !key->lowProfileKey)) return problem;
    return problem + ". " + name + " takes " + key->acceptedText;
}

std::string SettingsEditor::set(const std::string& key, const std::string& value, bool lowSection) {
    if (path_.empty()) return "the settings file is not open";
    IniFile changed;
    changed.assign(file_);
    if (std::string why = edit(changed, key, value, lowSection); !why.empty()) return why;
    return write(changed);
}

std::string SettingsEditor::edit(IniFile& content, const std::string& key, const std::string& rawValue,
                                 bool lowSection) const {
    const std::string value = trimmed(rawValue);
    if (std::string why = check(key, value, lowSection); !why.empty()) return why;
    content.set(sectionOf(lowSection), key, value);
    return {};
}

std::string SettingsEditor::write(const IniFile& content) {
    if (path_.empty()) return "the settings file is not open";
    if (path_ == located_.factoryPath) return "the driver reads the factory file itself, which is never written";
    if (!content.save(path_)) return "cannot write " + platform::nativePath(path_);
    file_ = IniFile{};
    file_.assign(content);
    return {};
}

std::string SettingsEditor::reset() {
    if (path_.empty()) return "the settings file is not open";
    IniFile content;
    if (std::string why = factory(content); !why.empty()) return why;
    return write(content);
}

std::string SettingsEditor::factory(IniFile& content) const {
    content = IniFile{};
    if (!content.load(located_.factoryPath))
        return "cannot read the factory settings " + platform::nativePath(located_.factoryPath);
    return {};
}

std::vector<std::string> SettingsEditor::notes() const {
    std::vector<std::string> notes;
    const DriverSettings now = effective();
    const bool lowValues = file_.sections().contains(DriverSettings::lowSection) &&
                           !file_.sections().at(DriverSettings::lowSection).empty();
    if (now.lowProfile) {
        notes.push_back("CPULOW is " + std::to_string(now.cpuLow) + " and this machine has " +
                        std::to_string(environment_.coreCount ? environment_.coreCount() : 0) +
                        " cores: the keys from CycleTime on are read from section LOW");
    } else if (lowValues) {
        notes.push_back(now.cpuLow == 0 ? "section LOW is not read while CPULOW is 0"
                                        : "section LOW is not read on this machine (more cores than CPULOW)");
    }
    if (!now.debugPath.empty())
        notes.push_back(platform::nativePath(now.debugPath) + " is read after this file and overrides its keys");
    return notes;
}

DriverSettings SettingsEditor::effective() const {
    DriverSettings settings = located_;
    settings.settingPath = path_;
    settings.readKeys();
    return settings;
}
