#include "SettingsConsole.h"

#include <iomanip>
#include <iostream>
#include <sstream>

#include "platform/Files.h"

namespace {

void printHelp(std::ostream& out) {
    out << "Commands:\n"
           "  list              show the keys of section global\n"
           "  list low          show the keys of section LOW (used when CPULOW applies)\n"
           "  set KEY VALUE     change a key (an empty VALUE restores the default)\n"
           "  set low KEY VALUE change a key of section LOW\n"
           "  KEY=VALUE         the same as set KEY VALUE\n"
           "  reset             replace every setting with the factory settings\n"
           "  help, quit\n";
}

void report(const std::string& problem, std::ostream& out) {
    if (problem.empty()) out << "saved\n";
    else out << "refused: " << problem << "\n";
}

}  // namespace

void printSettings(const SettingsEditor& editor, bool lowSection, std::ostream& out) {
    out << "Settings file: " << platform::nativePath(editor.path()) << (lowSection ? "  [LOW]" : "") << "\n\n";
    out << std::left << std::setw(24) << "Key" << std::setw(18) << "Value" << std::setw(10) << "Default"
        << "Accepted\n";
    for (const SettingRow& row : editor.rows(lowSection)) {
        std::string value = row.value.empty() ? "-" : row.value;
        if (value.size() > 17) value = value.substr(0, 14) + "...";
        out << std::setw(24) << row.key->name << std::setw(18) << value << std::setw(10) << row.key->defaultText
            << row.key->acceptedText << "\n";
        if (!row.problem.empty()) out << "    ! " << row.problem << "\n";
    }
    for (const std::string& note : editor.notes()) out << "\nNote: " << note << "\n";
}

std::string keyTableMarkdown() {
    auto cell = [](std::string text) {
        for (size_t at = 0; (at = text.find('|', at)) != std::string::npos; at += 2) text.insert(at, "\\");
        return text;
    };
    std::ostringstream out;
    out << "| Key | Meaning | Default | Accepted values |\n|---|---|---|---|\n";
    for (const SettingKey& key : settingKeys()) {
        out << "| `" << key.name << "` | " << cell(key.meaning) << (key.lowProfileKey ? " (from [LOW] when CPULOW applies)" : "")
            << " | " << cell(key.defaultText) << " | " << cell(key.acceptedText) << " |\n";
    }
    return out.str();
}

int checkSettings(const SettingsEnvironment& environment, std::ostream& out) {
    DriverSettings settings;
    settings.locate(environment);
    const std::string userFile = environment.settingsFolder + "\\" + DriverSettings::settingsFileName;
    int found = 0;
    if (settings.settingPath != userFile && platform::fileExists(userFile)) {
        out << platform::nativePath(userFile) << ": cannot be read (a tab or other control character): the driver reads "
            << platform::nativePath(settings.settingPath) << " instead\n";
        ++found;
    }
    if (!settings.readKeys()) {
        out << platform::nativePath(settings.settingPath) << ": cannot be read: every key keeps its default\n";
        return 1;
    }
    for (const SettingProblem& p : settings.problems) {
        out << platform::nativePath(p.file) << ": " << (p.section == IniFile::globalSection ? "" : "[" + p.section + "] ")
            << p.key << "=" << p.value << ": " << p.problem << "\n";
        ++found;
    }
    if (found == 0) out << platform::nativePath(settings.settingPath) << ": every value is taken as written\n";
    return found == 0 ? 0 : 1;
}

int runInteractive(SettingsEditor& editor, std::istream& in, std::ostream& out) {
    printSettings(editor, false, out);
    out << "\n";
    printHelp(out);
    std::string line;
    while (out << "> " << std::flush, std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command.empty()) continue;
        if (command == "quit" || command == "exit") break;
        if (command == "help") {
            printHelp(out);
        } else if (command == "list") {
            std::string section;
            words >> section;
            printSettings(editor, section == "low" || section == "LOW", out);
        } else if (command == "reset") {
            const std::string problem = editor.reset();
            out << (problem.empty() ? "factory settings restored\n" : "failed: " + problem + "\n");
        } else if (command == "set") {
            std::string key;
            words >> key;
            const bool low = key == "low" || key == "LOW";
            if (low) words >> key;
            std::string value;
            std::getline(words, value);
            if (key.empty()) out << "usage: set [low] KEY VALUE\n";
            else report(editor.set(key, value, low), out);
        } else if (const size_t equals = line.find('='); equals != std::string::npos) {
            std::string key = line.substr(0, equals);
            key.erase(0, key.find_first_not_of(' '));
            key.erase(key.find_last_not_of(' ') + 1);
            report(editor.set(key, line.substr(equals + 1), false), out);
        } else {
            out << "unknown command \"" << command << "\"; type help\n";
        }
    }
    out << "\n";
    return 0;
}
