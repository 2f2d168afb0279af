// The glTF reader's JSON tree must accept, refuse and read every text as nlohmann's parser does,
// which read the same files before it.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "host/import/json_tree.h"

namespace {

// Same kinds, sizes, numbers and texts all the way down (nlohmann keeps one member per key).
void ExpectSame(const JsonValue& ours, const nlohmann::ordered_json& theirs, const std::string& where) {
    ASSERT_EQ(ours.is_number_unsigned(), theirs.is_number_unsigned()) << where;
    ASSERT_EQ(ours.is_number_integer(), theirs.is_number_integer()) << where;
    ASSERT_EQ(ours.is_number_float(), theirs.is_number_float()) << where;
    ASSERT_EQ(ours.is_string(), theirs.is_string()) << where;
    ASSERT_EQ(ours.dump(), theirs.dump()) << where;
    if (ours.is_array()) {
        ASSERT_EQ(ours.size(), theirs.size()) << where;
        for (size_t i = 0; i < ours.size(); ++i) ExpectSame(ours[i], theirs[i], where + "[" + std::to_string(i) + "]");
    } else if (ours.is_object()) {
        for (const auto& [key, value] : theirs.items()) {
            ASSERT_TRUE(ours.Find(key)) << where << "." << key;
            ExpectSame(*ours.Find(key), value, where + "." + key);
        }
    } else if (ours.is_number()) {
        EXPECT_EQ(ours.get<double>(), theirs.get<double>()) << where;
        if (ours.is_number_integer()) {
            EXPECT_EQ(ours.get<uint64_t>(), theirs.get<uint64_t>()) << where;
        }
    } else if (ours.is_string()) {
        EXPECT_EQ(ours.get<std::string>(), theirs.get<std::string>()) << where;
    }
}

}  // namespace

TEST(JsonTree, ReadsAndRefusesAsNlohmannDoes) {
    const char* texts[] = {
        // numbers: unsigned, signed (-0 too), beyond 64 bits (doubles), fractions and exponents,
        // underflow to zero; overflow to infinity and malformed numbers are refused
        R"([0, -0, 1, -1, 18446744073709551615, 18446744073709551616, -9223372036854775808, -9223372036854775809])",
        R"([0.5, -0.0, 1e3, 1E+3, 2.5e-7, 123456789012345678901234567890, 1e-400, 4.0, 1e16, 0.0001, 0.00001])",
        "1e400", "-1e400", "01", "-", "1.", ".5", "1e", "+1", "0x10", "1.5e+", "-a",
        // strings: escapes, surrogate pairs, UTF-8; lone surrogates, bad escapes, control
        // characters and malformed UTF-8 are refused
        R"(["a\"b\\c\/d\b\f\n\r\t", "\u00e9\u4e2d\ud83d\ude00", "é中😀", "\u0000", ""])",
        R"("\ud83d")", R"("\ude00")", R"("\ud83d\u0041")", R"("\x")", R"("\u12G4")", "\"a\tb\"", "\"\xC0\x80\"",
        "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xE2\x82\"", "\"abc",
        // structure: keys given twice (last value wins), nesting, whitespace, a byte order mark
        R"({"a":1,"b":[true,false,null,{}],"a":{"c":[[],[[]]]},"d":"x"})", " \t\r\n{ \"a\" : [ 1 , 2 ] }\n ",
        "\xEF\xBB\xBF{}", "\xEF\xBB{}", "[1,]", "{\"a\":1,}", "{\"a\"}", "{1:2}", "[1 2]", "{} {}", "", "  ", "tru",
        "nul", "[", "]", "{\"a\":[}", "true false",
    };
    for (const char* text : texts) {
        JsonTree ours;
        const bool parsed = ours.Parse(text, 1024);
        const nlohmann::ordered_json theirs = nlohmann::ordered_json::parse(text, nullptr, false);
        ASSERT_EQ(parsed, !theirs.is_discarded()) << text;
        if (parsed) ExpectSame(ours.root(), theirs, text);
    }
    // The depth limit counts arrays and objects, whichever opens.
    JsonTree tree;
    EXPECT_TRUE(tree.Parse(R"([{"a":[1]}])", 3));
    EXPECT_FALSE(tree.Parse(R"([{"a":[[1]]}])", 3));
    EXPECT_TRUE(tree.root().is_null());
}
