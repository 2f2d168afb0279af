// JSON helpers shared by the scene document readers and writers: JSON paths for messages, a
// checker that keeps the first problem found, and the written form of floats and matrices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "sdk/math.h"
#include "sdk/types.h"

namespace json_document {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// "line L, column C: malformed JSON: <the parser's words>" for the first syntax error of text, or
// empty when text is one valid JSON value. Reads the text without building any value.
std::string FindSyntaxError(std::string_view text);
// The same words from the message of the parser's parse_error exception.
std::string ParseErrorText(const std::string& what);

// s in double quotes, for messages.
std::string Quoted(std::string_view s);
// What kind of value v is, for messages: "an object", "a string", "null" and so on.
std::string TypeName(const Json& v);

// How the path of a member of the value at an empty path is written: the bare key ("key") or
// with the separator (".key").
enum class TopLevelMember { Bare, Dotted };

// The path of member key of the value at path: "path.key".
std::string Member(const std::string& path, std::string_view key, TopLevelMember top = TopLevelMember::Bare);
// The path of element i of the array at path: "path[i]".
std::string Element(const std::string& path, size_t i);

// Checks values while walking a document and keeps the first problem found. Fail records the
// problem (a derived class decides where to); it always returns false so that a check can
// `return Fail(...)`.
class JsonChecker {
public:
    virtual ~JsonChecker() = default;
    virtual bool Fail(const std::string& path, const std::string& problem) = 0;

    // "expected <expected>, found <kind of v>".
    bool WrongType(const std::string& path, const char* expected, const Json& v);
    // Every key of the object must be one of `known`; another one is an "unknown field".
    bool OnlyKnownKeys(const Json& obj, const std::string& path, std::initializer_list<std::string_view> known);

    bool ReadBool(const Json& v, const std::string& path, bool& out);
    // A string without NUL characters.
    bool ReadString(const Json& v, const std::string& path, std::string& out);
    // A number that is finite as a 32-bit float.
    bool ReadFloat(const Json& v, const std::string& path, float& out);
    // A finite number from lo to hi.
    bool ReadFloatIn(const Json& v, const std::string& path, float lo, float hi, float& out);
    // An integer from lo to hi; values beyond 64 bits are out of range like any other.
    bool ReadInt(const Json& v, const std::string& path, int64_t lo, int64_t hi, int64_t& out);
    // An array of at most `limit` elements; `what` names the expected value ("an array of bones").
    bool ReadArray(const Json& v, const std::string& path, const char* what, size_t limit);
    // An array of `count` finite numbers (count 0: any length that is a multiple of `stride`),
    // at most the scene document's array limit.
    bool ReadFloats(const Json& v, const std::string& path, size_t count, size_t stride, std::vector<float>& out);
    // A class id: two 32-bit words, each an integer or a hexadecimal string such as "0x1A2B".
    bool ReadClassId(const Json& v, const std::string& path, Class_ID& out);

protected:
    explicit JsonChecker(TopLevelMember top = TopLevelMember::Bare) : top_(top) {}

    // The path of member key of the value at path, written the way this checker writes them.
    std::string Member(const std::string& path, std::string_view key) const {
        return json_document::Member(path, key, top_);
    }

private:
    TopLevelMember top_;
};

// A checker that keeps the first problem's path and text in two strings of its owner; a
// problem is recorded only while both are empty.
class FirstProblem : public JsonChecker {
public:
    FirstProblem(std::string& errorPath, std::string& problem, TopLevelMember top = TopLevelMember::Bare)
        : JsonChecker(top), errorPath_(errorPath), problem_(problem) {}

    bool Fail(const std::string& path, const std::string& problem) override;

private:
    std::string& errorPath_;
    std::string& problem_;
};

// The shortest decimal of f that reads back to the same 32-bit value, as a JSON number (the
// exact value when the shortest form would not read back).
OrderedJson Number(float f);
// A transform as 12 numbers, row by row.
OrderedJson MatrixJson(const Matrix3& m);
// A 32-bit word in hexadecimal: "0x1A2B".
std::string Hex(uint32_t word);

}  // namespace json_document
