// Nesting depth of text, found in one pass without recursion, before a reader that recurses once
// per level sees the text: arrays and objects in JSON, elements in XML, and braces in the text
// forms of X files, ASCII FBX and similar formats. Brackets inside strings and comments do not
// count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class NestingScan {
public:
    enum class Kind {
        Json,      // [ and {; strings with backslash escapes
        Xml,       // elements, except those closed in their own tag; comments, CDATA, declarations
        XText,     // braces; strings without escapes; # and // comments
        FbxAscii,  // braces; ; comments
        Braces,    // braces; # and // comments
    };
    NestingScan(Kind kind, int limit) : kind_(kind), limit_(limit) {}

    // Reads on; false as soon as the nesting passes the limit (line() and column() then say
    // where). Text may come in pieces.
    bool Feed(std::string_view text);
    // The line and column (from 1) of the last character read.
    uint64_t line() const { return line_; }
    uint64_t column() const { return column_; }

private:
    bool Open() { return ++depth_ <= limit_; }
    void Close() { depth_ -= depth_ > 0; }
    bool Brace(char c);
    bool Xml(char c);

    enum class State { Content, String, LineComment, TagStart, Tag, Quoted, CloseTag, Bang, BangDash, Comment, CData, Declaration };
    Kind kind_;
    int limit_;
    int depth_ = 0;
    uint64_t line_ = 1;
    uint64_t column_ = 0;
    State state_ = State::Content;
    char previous_ = 0;
    char quote_ = 0;
    int run_ = 0;
    bool escaped_ = false;
};

// The line and column (from 1) of the first array or object in JSON text nested deeper than
// limit; false when there is none.
bool FindDeepJsonNesting(std::string_view text, int limit, size_t& line, size_t& column);
