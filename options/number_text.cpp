#include "options/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsCSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsCSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Parses an unsigned decimal number with optional fraction and exponent at the start of s.
// Returns the number of characters used (0 when there is no number).
size_t ParseUnsignedDouble(std::string_view s, double& value) {
    // from_chars would also take "inf", "nan" and hexadecimal forms; only decimal digits count here.
    if (s.empty() || !((s[0] >= '0' && s[0] <= '9') || s[0] == '.')) return 0;
    double parsed = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), parsed, std::chars_format::general);
    if (end == s.data()) return 0;
    if (ec == std::errc::result_out_of_range) {
        parsed = 0;  // overflow and underflow alike: no usable number
    } else if (ec != std::errc()) {
        return 0;
    }
    value = parsed;
    return static_cast<size_t>(end - s.data());
}

}  // namespace

std::string FormatG(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    if (ec != std::errc()) return "0";
    return std::string(buffer, end);
}

double ParseLeadingDouble(std::string_view text) {
    while (!text.empty() && IsCSpace(text.front())) text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    double value = 0;
    if (ParseUnsignedDouble(text, value) == 0 || !std::isfinite(value)) return 0;
    return negative ? -value : value;
}

float ParseLeadingFloat(std::string_view text) {
    double value = ParseLeadingDouble(text);
    if (std::fabs(value) > std::numeric_limits<float>::max()) return 0;
    return static_cast<float>(value);
}

int32_t ParseLeadingInt(std::string_view text) {
    while (!text.empty() && IsCSpace(text.front())) text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int64_t value = 0;
    const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > limit) {
            value = limit;
            break;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

bool ParseWholeInt(std::string_view text, int32_t& value) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
    }
    if (text.empty()) return false;
    int32_t parsed = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, 10);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    value = parsed;
    return true;
}

bool ParseWholeFloat(std::string_view text, float& value) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    double parsed = 0;
    if (text.empty() || ParseUnsignedDouble(text, parsed) != text.size()) return false;
    if (!std::isfinite(parsed) || std::fabs(parsed) > std::numeric_limits<float>::max()) return false;
    value = static_cast<float>(negative ? -parsed : parsed);
    return true;
}
