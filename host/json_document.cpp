#include "host/json_document.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace json_document {

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
