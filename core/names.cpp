// Name helpers for the X file.
//
// Host names are C strings, so both helpers stop at an embedded NUL as the host's own string
// handling would; everything after it is not part of the name.
#include "core/names.h"

namespace {

constexpr size_t kMaxNameLength = 255;  // a 256-byte name buffer with its terminator

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::string SanitizeXName(std::string_view text) {
    text = UpToNul(text);
    // X file identifiers cannot start with a digit; the prefix counts towards the limit.
    const bool prefix = !text.empty() && IsAsciiDigit(static_cast<unsigned char>(text.front()));
    text = text.substr(0, kMaxNameLength - (prefix ? 1 : 0));
    std::string out;
    out.reserve(text.size() + 1);
    if (prefix) out.push_back('_');
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"')
            out.push_back('\'');
        else if (c == '-' || c == '_' || IsAsciiDigit(c) || IsAsciiLetter(c))
            out.push_back(ch);
        else
            out.push_back('_');
    }
    return out;
}

std::string RemoveSpaces(std::string_view text) {
    text = UpToNul(text).substr(0, kMaxNameLength);  // the limit applies before blanks go
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != ' ') out.push_back(c);
    return out;
}
