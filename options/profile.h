// An initialisation file in the Windows profile layout, read and written like the Windows
// profile functions do it.
//
//   [Section]
//   Key=Value
//
// Section and key names are compared without regard to ASCII letter case. The first occurrence
// of a key wins; when a section name appears more than once, its parts are searched in file
// order as if they were one section. Blanks and tabs around names and values are dropped. Lines
// that begin with ';' are comments; lines without '=' outside a section header carry no key and
// are ignored, as are keys before the first section header. Values are taken whole: surrounding
// quotes are kept as part of the value. A UTF-8 byte order mark at the start is skipped.
//
// Any byte sequence loads without failing; text that fits none of the rules is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class ProfileFile {
public:
    // Profile strings are read into 260-byte buffers: at most 259 characters come back.
    static constexpr size_t kMaxStringLength = 259;

    // The most bytes a profile file may hold; the largest clip list a save writes fits easily.
    static constexpr size_t kMaxFileSize = 8u << 20;

    // Replaces the contents with the file at path. A file that is missing or cannot be read gives
    // an empty profile (false is returned then, for callers that care; it is not an error).
    bool Load(const std::string& path);
    // Like Load, but tells a missing file (true, empty profile) from one that cannot be used:
    // false, with error saying why in plain words ("is a directory", "is not a regular file",
    // "is larger than 8 MiB", "cannot be read"), when the path names anything but a readable
    // regular file of at most kMaxFileSize bytes. Devices and pipes are never opened, so a load
    // neither blocks nor reads without end.
    bool Load(const std::string& path, std::string& error);
    // Replaces the contents with the profile text in bytes.
    void LoadFromText(std::string_view bytes);
    void Clear();

    // The value of the key as an integer: blanks, optional sign, then decimal digits up to the
    // first other character ("12abc" gives 12, "abc" gives 0, "-" gives 0). Only the first 29
    // characters count, and the digits wrap modulo 2^32 as in the system's conversion. A missing
    // key, or a key whose value is empty, gives defaultValue.
    int32_t GetInt(std::string_view section, std::string_view key, int32_t defaultValue) const;
    // The value of the key, or defaultValue when the key is missing; either cut to 259 characters.
    std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    bool HasKey(std::string_view section, std::string_view key) const;

    // Sets the first occurrence of the key, or appends the key to the first part of the section
    // (appending the section when it is missing). The value is cut before its first line break
    // or NUL, and blanks around it are dropped, so that it reads back as written and can never
    // add lines of its own. Keys are cut the same way and must not be empty or hold '='.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, int32_t value);
    // Removes every occurrence of each key of the section (in all its parts) for which remove(key)
    // is true. Returns how many lines were removed.
    size_t RemoveKeys(std::string_view section, const std::function<bool(std::string_view key)>& remove);

    // The profile in the Windows layout with CR LF line ends: "[Section]" lines and "Key=Value"
    // lines in the order they were read or written.
    std::string ToText() const;
    // Writes ToText() to a temporary file beside path and renames it into place, so the previous
    // file stays intact when anything fails. Missing parent directories are created. False when
    // the file could not be written.
    bool Save(const std::string& path) const;

    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    const std::vector<Section>& Sections() const { return sections_; }

private:
    const std::string* Find(std::string_view section, std::string_view key) const;
    void Reindex();

    std::vector<Section> sections_;
    // Lower-cased "section\nkey" -> (section index, entry index) of its first occurrence.
    std::unordered_map<std::string, std::pair<size_t, size_t>> index_;
};

// The decimal integer at the start of text, parsed as GetInt does (without the default).
int32_t ParseProfileInt(std::string_view text);
