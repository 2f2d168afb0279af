#include "host/document/json_document.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/document/scene_document.h"

namespace json_document {

// "[json.exception.parse_error.101] parse error at line 3, column 14: syntax error ..." ->
// "line 3, column 14: malformed JSON: syntax error ...".
std::string ParseErrorText(const std::string& what) {
    const size_t at = what.find("at line ");
    if (at == std::string::npos) return "malformed JSON: " + what;
    const size_t colon = what.find(": ", at);
    if (colon == std::string::npos) return "malformed JSON: " + what;
    return what.substr(at + 3, colon - at - 3) + ": malformed JSON: " + what.substr(colon + 2);
}

namespace {

// Reads every value and keeps only the first syntax error.
struct SyntaxErrorSax {
    std::string error;
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(Json::number_integer_t) { return true; }
    bool number_unsigned(Json::number_unsigned_t) { return true; }
    bool number_float(Json::number_float_t, const Json::string_t&) { return true; }
    bool string(Json::string_t&) { return true; }
    bool binary(Json::binary_t&) { return true; }
    bool start_object(std::size_t) { return true; }
    bool key(Json::string_t&) { return true; }
    bool end_object() { return true; }
    bool start_array(std::size_t) { return true; }
    bool end_array() { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
        error = ParseErrorText(e.what());
        return false;
    }
};

}  // namespace

std::string FindSyntaxError(std::string_view text) {
    SyntaxErrorSax sax;
    Json::sax_parse(text.begin(), text.end(), &sax);
    return sax.error;
}

std::string Quoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('"');
    out.append(s);
    out.push_back('"');
    return out;
}

std::string TypeName(const Json& v) {
    switch (v.type()) {
        case Json::value_t::null: return "null";
        case Json::value_t::object: return "an object";
        case Json::value_t::array: return "an array";
        case Json::value_t::string: return "a string";
        case Json::value_t::boolean: return "a boolean";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned: return "an integer";
        case Json::value_t::number_float: return "a number";
        default: return "an unsupported value";
    }
}

std::string Member(const std::string& path, std::string_view key, TopLevelMember top) {
    return path.empty() && top == TopLevelMember::Bare ? std::string(key) : path + "." + std::string(key);
}

std::string Element(const std::string& path, size_t i) { return path + "[" + std::to_string(i) + "]"; }

bool JsonChecker::WrongType(const std::string& path, const char* expected, const Json& v) {
    return Fail(path, std::string("expected ") + expected + ", found " + TypeName(v));
}

bool JsonChecker::OnlyKnownKeys(const Json& obj, const std::string& path,
                                std::initializer_list<std::string_view> known) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool found = false;
        for (std::string_view k : known) found = found || it.key() == k;
        if (!found) return Fail(Member(path, it.key()), "unknown field");
    }
    return true;
}

bool JsonChecker::ReadBool(const Json& v, const std::string& path, bool& out) {
    if (!v.is_boolean()) return WrongType(path, "true or false", v);
    out = v.get<bool>();
    return true;
}

bool JsonChecker::ReadString(const Json& v, const std::string& path, std::string& out) {
    if (!v.is_string()) return WrongType(path, "a string", v);
    out = v.get<std::string>();
    if (out.find('\0') != std::string::npos) return Fail(path, "string holds a NUL character");
    return true;
}

bool JsonChecker::ReadFloat(const Json& v, const std::string& path, float& out) {
    if (!v.is_number()) return WrongType(path, "a number", v);
    const double d = v.get<double>();
    const float f = static_cast<float>(d);
    if (!std::isfinite(d) || !std::isfinite(f)) return Fail(path, "number is not finite as a 32-bit float");
    out = f;
    return true;
}

bool JsonChecker::ReadFloatIn(const Json& v, const std::string& path, float lo, float hi, float& out) {
    if (!ReadFloat(v, path, out)) return false;
    if (out < lo || out > hi)
        return Fail(path, "value is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return true;
}

bool JsonChecker::ReadInt(const Json& v, const std::string& path, int64_t lo, int64_t hi, int64_t& out) {
    const auto outOfRange = [&](const std::string& value) {
        return Fail(path, value + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    };
    if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        if (hi < 0 || u > static_cast<uint64_t>(hi)) return outOfRange(std::to_string(u));
        out = static_cast<int64_t>(u);
    } else if (v.is_number_integer()) {
        out = v.get<int64_t>();
    } else {
        return WrongType(path, "an integer", v);
    }
    if (out < lo || out > hi) return outOfRange(std::to_string(out));
    return true;
}

bool JsonChecker::ReadArray(const Json& v, const std::string& path, const char* what, size_t limit) {
    if (!v.is_array()) return WrongType(path, what, v);
    if (v.size() > limit)
        return Fail(path, "too many elements (" + std::to_string(v.size()) + ", limit " + std::to_string(limit) + ")");
    return true;
}

bool JsonChecker::ReadFloats(const Json& v, const std::string& path, size_t count, size_t stride,
                             std::vector<float>& out) {
    if (!ReadArray(v, path, "an array of numbers", kMaxSceneArrayElements)) return false;
    if (count != 0 && v.size() != count)
        return Fail(path, "expected " + std::to_string(count) + " numbers, found " + std::to_string(v.size()));
    if (stride > 1 && v.size() % stride != 0)
        return Fail(path, "length " + std::to_string(v.size()) + " is not a multiple of " + std::to_string(stride));
    out.resize(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        if (!ReadFloat(v[i], Element(path, i), out[i])) return false;
    return true;
}

bool JsonChecker::ReadClassId(const Json& v, const std::string& path, Class_ID& out) {
    if (!v.is_array() || v.size() != 2) return Fail(path, "expected a class id: an array of two 32-bit words");
    uint32_t words[2];
    for (size_t i = 0; i < 2; ++i) {
        const std::string at = Element(path, i);
        if (v[i].is_string()) {
            // "0x" and one to eight hexadecimal digits, nothing else (no sign, no blanks).
            const std::string s = v[i].get<std::string>();
            uint32_t value = 0;
            bool ok = s.size() > 2 && s.size() <= 10 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
            for (size_t k = 2; ok && k < s.size(); ++k) {
                const char c = s[k];
                const int digit = c >= '0' && c <= '9'   ? c - '0'
                                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
                ok = digit >= 0;
                value = value * 16 + static_cast<uint32_t>(ok ? digit : 0);
            }
            if (!ok) return Fail(at, "expected a hexadecimal word such as \"0x1A2B\", found " + Quoted(s));
            words[i] = value;
        } else {
            int64_t value = 0;
            if (!ReadInt(v[i], at, 0, 0xFFFFFFFFll, value)) return false;
            words[i] = static_cast<uint32_t>(value);
        }
    }
    out = Class_ID(words[0], words[1]);
    return true;
}

bool FirstProblem::Fail(const std::string& path, const std::string& problem) {
    if (errorPath_.empty() && problem_.empty()) {
        errorPath_ = path;
        problem_ = problem;
    }
    return false;
}

OrderedJson Number(float f) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, f);
    const double shortest = std::strtod(std::string(text, result.ptr).c_str(), nullptr);
    return static_cast<float>(shortest) == f ? shortest : static_cast<double>(f);
}

OrderedJson MatrixJson(const Matrix3& m) {
    OrderedJson a = OrderedJson::array();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) a.push_back(Number(m[r][c]));
    return a;
}

std::string Hex(uint32_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", word);
    return text;
}

}  // namespace json_document
