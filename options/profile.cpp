#include "options/profile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/atomic_write.h"
#include "core/platform.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string IndexKey(std::string_view section, std::string_view key) {
    std::string k;
    k.reserve(section.size() + key.size() + 1);
    for (char c : section) k.push_back(LowerAscii(c));
    k.push_back('\n');  // cannot occur inside a name
    for (char c : key) k.push_back(LowerAscii(c));
    return k;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

// Text up to the first line break or NUL, without surrounding blanks.
std::string_view OneLine(std::string_view s) {
    size_t end = s.find_first_of(std::string_view("\r\n\0", 3));
    if (end != std::string_view::npos) s = s.substr(0, end);
    return Trim(s);
}

}  // namespace

int32_t ParseProfileInt(std::string_view text) {
    // The system reads the value into a 30-character buffer and converts it with base 10.
    if (text.size() > 29) text = text.substr(0, 29);
    size_t i = 0;
    while (i < text.size() && (IsBlank(text[i]) || text[i] == '\r' || text[i] == '\n' || text[i] == '\v' ||
                               text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;  // unsigned: overflow wraps instead of being undefined
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

void ProfileFile::Clear() {
    sections_.clear();
    index_.clear();
}

bool ProfileFile::Load(const std::string& path) {
    std::string error;
    return Load(path, error) && !path.empty() && std::filesystem::exists(path);
}

bool ProfileFile::Load(const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    Clear();
    error.clear();
    if (path.empty()) return true;
    std::error_code ec;
    const fs::file_status status = fs::status(platform::PathOf(path), ec);
    if (status.type() == fs::file_type::not_found) return true;
    if (ec) {
        error = "cannot be read (" + ec.message() + ")";
        return false;
    }
    if (status.type() == fs::file_type::directory) {
        error = "is a directory";
        return false;
    }
    if (status.type() != fs::file_type::regular) {
        error = "is not a regular file";
        return false;
    }
    FILE* file = platform::OpenFile(path, "rb");
    if (file == nullptr) {
        error = std::string("cannot be read (") + std::strerror(errno) + ")";
        return false;
    }
    // Read in pieces and stop past the limit, whatever size the file system reported.
    std::string bytes;
    char chunk[65536];
    size_t got = 0;
    while (bytes.size() <= kMaxFileSize && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot be read";
        return false;
    }
    if (bytes.size() > kMaxFileSize) {
        error = "is larger than " + std::to_string(kMaxFileSize >> 20) + " MiB";
        return false;
    }
    LoadFromText(bytes);
    return true;
}

void ProfileFile::LoadFromText(std::string_view bytes) {
    Clear();
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    Section* current = nullptr;
    while (!bytes.empty()) {
        size_t eol = bytes.find_first_of("\r\n");
        std::string_view line = bytes.substr(0, eol);
        bytes.remove_prefix(eol == std::string_view::npos ? bytes.size() : eol + 1);

        line = Trim(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::string_view name = line.substr(1);
            size_t close = name.rfind(']');
            if (close != std::string_view::npos) name = name.substr(0, close);
            sections_.push_back(Section{std::string(Trim(name)), {}});
            current = &sections_.back();
            continue;
        }
        size_t eq = line.find('=');
        if (current == nullptr || eq == std::string_view::npos) continue;
        std::string_view key = Trim(line.substr(0, eq));
        if (key.empty()) continue;
        current->entries.push_back(Entry{std::string(key), std::string(Trim(line.substr(eq + 1)))});
    }
    Reindex();
}

void ProfileFile::Reindex() {
    index_.clear();
    for (size_t s = 0; s < sections_.size(); ++s) {
        for (size_t e = 0; e < sections_[s].entries.size(); ++e) {
            // emplace keeps the first occurrence
            index_.emplace(IndexKey(sections_[s].name, sections_[s].entries[e].key), std::make_pair(s, e));
        }
    }
}

const std::string* ProfileFile::Find(std::string_view section, std::string_view key) const {
    auto it = index_.find(IndexKey(section, key));
    if (it == index_.end()) return nullptr;
    return &sections_[it->second.first].entries[it->second.second].value;
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const {
    return Find(section, key) != nullptr;
}

int32_t ProfileFile::GetInt(std::string_view section, std::string_view key, int32_t defaultValue) const {
    const std::string* value = Find(section, key);
    if (value == nullptr || value->empty()) return defaultValue;
    return ParseProfileInt(*value);
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
    const std::string* value = Find(section, key);
    std::string_view result = value != nullptr ? std::string_view(*value) : defaultValue;
    return std::string(result.substr(0, kMaxStringLength));
}

void ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    section = OneLine(section);
    key = OneLine(key);
    // A key that would read back as a section header, a comment or another key cannot be stored.
    if (key.empty() || key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';') return;
    if (section.find(']') != std::string_view::npos) return;
    value = OneLine(value);

    auto it = index_.find(IndexKey(section, key));
    if (it != index_.end()) {
        sections_[it->second.first].entries[it->second.second].value = std::string(value);
        return;
    }
    size_t s = 0;
    while (s < sections_.size() && !EqualNoCase(sections_[s].name, section)) ++s;
    if (s == sections_.size()) sections_.push_back(Section{std::string(section), {}});
    sections_[s].entries.push_back(Entry{std::string(key), std::string(value)});
    index_.emplace(IndexKey(sections_[s].name, key), std::make_pair(s, sections_[s].entries.size() - 1));
}

void ProfileFile::WriteInt(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

size_t ProfileFile::RemoveKeys(std::string_view section, const std::function<bool(std::string_view key)>& remove) {
    size_t removed = 0;
    for (Section& part : sections_) {
        if (!EqualNoCase(part.name, section)) continue;
        const size_t before = part.entries.size();
        std::erase_if(part.entries, [&](const Entry& entry) { return remove(entry.key); });
        removed += before - part.entries.size();
    }
    if (removed != 0) Reindex();
    return removed;
}

std::string ProfileFile::ToText() const {
    std::string text;
    for (const Section& section : sections_) {
        text += '[';
        text += section.name;
        text += "]\r\n";
        for (const Entry& entry : section.entries) {
            text += entry.key;
            text += '=';
            text += entry.value;
            text += "\r\n";
        }
    }
    return text;
}

bool ProfileFile::Save(const std::string& path) const {
    if (path.empty()) return false;
    RemoveStaleTemporariesOf(path);
    return WriteFileAtomically(path, ToText());
}
