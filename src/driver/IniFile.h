#pragma once
// A settings file in memory: sections of key=value lines.
//
// File syntax: an optional UTF-8 byte-order mark; lines end at CR or LF (a last line without
// an end counts); any other byte below 0x20 fails the whole load. Leading spaces are dropped;
// ";" or "#" starts a comment; "[name]" opens a section (spaces around the name and after
// the "]" are dropped; a "[" line without "]" is ignored); "key = value" sets a key (spaces
// around both trimmed; a line without "=" is ignored). Lines before any header belong to
// "global". A repeated key takes the later value, also across files loaded one after the other.
// Names and values are UTF-8 byte strings compared exactly.

#include <map>
#include <string>
#include <string_view>

class IniFile {
public:
    using Section = std::map<std::string, std::string>;
    using Sections = std::map<std::string, Section>;

    static constexpr const char* globalSection = "global";

    // Reads the whole file and adds its sections and keys to this object. False (and nothing of
    // the file taken) when it cannot be read or holds a forbidden control byte. Remembers the
    // path on success.
    bool load(const std::string& path);

    // The same as load, from bytes already in memory (no path remembered).
    bool parse(std::string_view bytes);

    // Chooses the section that get reads. Empty means "global". "base.sub" reads section
    // "base.sub" when it exists, else section "base". A section that does not exist makes
    // every get find nothing.
    void select(std::string_view name);
    const std::string& selected() const { return selected_; }

    // The value of key in the selected section, or the empty string.
    std::string get(std::string_view key) const;

    // Sets (or with an empty value, removes) a key of a section, creating the section.
    void set(const std::string& section, const std::string& key, const std::string& value);

    // Replaces every section with a copy of other's (the selection and path stay).
    void assign(const IniFile& other);

    // Writes every section: "[name]" and then "key=value" for each non-empty value, each
    // line ending in CR LF. False when the file cannot be written.
    bool save(const std::string& path) const;

    // The bytes that save writes.
    std::string serialize() const;

    const Sections& sections() const { return sections_; }
    const std::string& path() const { return path_; }

    // Same sections with the same keys and values.
    bool sameContent(const IniFile& other) const { return sections_ == other.sections_; }

private:
    const Section* selectedSection() const;

    Sections sections_;
    std::string selected_ = globalSection;
    std::string path_;
};
