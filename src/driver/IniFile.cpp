#include "driver/IniFile.h"

#include "platform/Files.h"

namespace {

std::string_view trimLeft(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    return text.substr(start);
}

std::string_view trimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ') --end;
    return text.substr(0, end);
}

bool hasForbiddenByte(std::string_view bytes) {
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\r' && byte != '\n') return true;
    }
    return false;
}

}  // namespace

bool IniFile::parse(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (hasForbiddenByte(bytes)) return false;

    std::string current = globalSection;
    while (!bytes.empty()) {
        const size_t end = bytes.find_first_of("\r\n");
        std::string_view line = trimLeft(bytes.substr(0, end));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);

        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::string_view header = trimRight(line);
            if (header.size() >= 2 && header.back() == ']') {
                current = std::string(trimRight(trimLeft(header.substr(1, header.size() - 2))));
                sections_[current];
            }
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = trimRight(line.substr(0, equals));
        const std::string_view value = trimRight(trimLeft(line.substr(equals + 1)));
        sections_[current][std::string(key)] = std::string(value);
    }
    return true;
}

bool IniFile::load(const std::string& path) {
    const std::optional<std::string> bytes = platform::readFile(path);
    if (!bytes || !parse(*bytes)) return false;
    path_ = path;
    return true;
}

void IniFile::select(std::string_view name) {
    selected_ = name.empty() ? std::string(globalSection) : std::string(name);
}

const IniFile::Section* IniFile::selectedSection() const {
    if (auto full = sections_.find(selected_); full != sections_.end()) return &full->second;
    const size_t dot = selected_.find('.');
    if (dot == std::string::npos) return nullptr;
    auto base = sections_.find(selected_.substr(0, dot));
    return base == sections_.end() ? nullptr : &base->second;
}

std::string IniFile::get(std::string_view key) const {
    const Section* section = selectedSection();
    if (!section) return {};
    auto found = section->find(std::string(key));
    return found == section->end() ? std::string() : found->second;
}

void IniFile::set(const std::string& section, const std::string& key, const std::string& value) {
    Section& keys = sections_[section];
    if (value.empty()) keys.erase(key);
    else keys[key] = value;
}

void IniFile::assign(const IniFile& other) {
    if (&other != this) sections_ = other.sections_;
}

std::string IniFile::serialize() const {
    std::string out;
    for (const auto& [name, keys] : sections_) {
        out += '[';
        out += name;
        out += "]\r\n";
        for (const auto& [key, value] : keys) {
            if (value.empty()) continue;
            out += key;
            out += '=';
            out += value;
            out += "\r\n";
        }
    }
    return out;
}

bool IniFile::save(const std::string& path) const { return platform::writeFile(path, serialize()); }
