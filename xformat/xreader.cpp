#include "xformat/xreader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "xformat/mszip.h"
#include "xformat/template_codec.h"
#include "xformat/xfile_io.h"

namespace xfile {
namespace {

enum class Kind : uint8_t {
    Eof, Word, String, Guid, Integer, IntList, FloatList,
    OBrace, CBrace, OBracket, CBracket, OParen, CParen, OAngle, CAngle, Dot, Comma, Semicolon,
    Template, Array, Type,
};

struct Token {
    Kind kind = Kind::Eof;
    size_t pos = 0;          // offset of the token in the body
    std::string_view text;   // words, strings, keywords
    XType type = XType::Dword;
    XGuid guid{};
    uint32_t count = 0;      // lists: number of elements
    size_t dataPos = 0;      // lists and single integers: offset of the first element
};

struct Keyword {
    std::string_view word;
    Kind kind;
    XType type;
};
constexpr Keyword kKeywords[] = {
    {"template", Kind::Template, XType::Dword}, {"array", Kind::Array, XType::Dword},
    {"WORD", Kind::Type, XType::Word},          {"DWORD", Kind::Type, XType::Dword},
    {"FLOAT", Kind::Type, XType::Float},        {"DOUBLE", Kind::Type, XType::Double},
    {"CHAR", Kind::Type, XType::Char},          {"UCHAR", Kind::Type, XType::Uchar},
    {"SWORD", Kind::Type, XType::Sword},        {"SDWORD", Kind::Type, XType::Sdword},
    {"STRING", Kind::Type, XType::String},      {"LPSTR", Kind::Type, XType::String},
    {"UNICODE", Kind::Type, XType::Unicode},    {"CSTRING", Kind::Type, XType::Cstring},
};

// Bytes that end a word of text data: blanks and control bytes, the punctuation that makes a
// token of its own, and the quote. A '/' ends one only as the start of a "//" comment.
constexpr std::array<bool, 256> kEndsWord = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c <= ' '; ++c) table[static_cast<size_t>(c)] = true;
    for (char c : std::string_view("{}[](),;<>\"")) table[static_cast<uint8_t>(c)] = true;
    return table;
}();

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool IsNameLike(Kind k) { return k == Kind::Word || k == Kind::Type || k == Kind::Array; }

// The member a value is read for: named in a message only when the read fails, as building the
// name for every value read would cost more than reading it.
struct ValueOf {
    const std::string& member;
    const std::string& owner;
};
std::string Text(const ValueOf& value) { return "'" + value.member + "' of '" + value.owner + "'"; }

class Parser {
public:
    Parser(std::span<const uint8_t> body, bool binary, bool float64, size_t fileOffset, bool compressed,
           XDocument* doc, const XReadOptions& options, bool templatesOnly)
        : d_(body.data()), n_(body.size()), binary_(binary), float64_(float64), fileOffset_(fileOffset),
          compressed_(compressed), doc_(doc), options_(options), templatesOnly_(templatesOnly) {}

    XResult Run() {
        Token t;
        while (Next(&t)) {
            if (t.kind == Kind::Eof) return XResult::Success();
            if (t.kind == Kind::Template) {
                if (!ParseTemplate()) break;
            } else if (t.kind == Kind::Word) {
                if (templatesOnly_) {
                    Fail(t.pos, "a template set holds a data object ('" + std::string(t.text) + "')");
                    break;
                }
                if (!ParseObjects(t)) break;
            } else if (t.kind != Kind::Comma && t.kind != Kind::Semicolon) {
                Fail(t.pos, "expected a template or a data object, found " + Describe(t));
                break;
            }
        }
        return XResult::Error(status_, error_);
    }

private:
    // ----- errors -----
    std::string Where(size_t pos) const {
        size_t at = fileOffset_ + std::min(pos, n_);
        std::string where;
        if (!binary_) {
            size_t line = 1 + static_cast<size_t>(std::count(d_, d_ + std::min(pos, n_), '\n'));
            where = "line " + std::to_string(line) + " (byte " + std::to_string(at) + ")";
        } else {
            where = "byte " + std::to_string(at);
        }
        if (compressed_) where += " of the decompressed data";
        if (current_ != kNoNode) where += ", in " + ObjectPath(current_);
        return where;
    }
    // "Frame 'Root' > Mesh 'Box'": the open objects from the top, the outermost ones elided
    // when the nesting is deep.
    std::string ObjectPath(uint32_t index) const {
        constexpr size_t kShown = 6;
        std::vector<uint32_t> chain;
        for (uint32_t i = index; i != kNoNode; i = doc_->nodes[i].parent) chain.push_back(i);
        std::string path = chain.size() > kShown ? "... > " : "";
        for (size_t k = std::min(chain.size(), kShown); k-- > 0;) {
            const XNode& node = doc_->nodes[chain[k]];
            path += doc_->templates.at(node.templateIndex).name;
            if (node.nameSize) path += " '" + std::string(doc_->Name(node).substr(0, 64)) + "'";
            if (k) path += " > ";
        }
        return path;
    }
    // Memory the parsed tree holds so far.
    size_t BuiltBytes() const { return doc_->nodes.size() * sizeof(XNode) + doc_->names.size() + doc_->payloads.size(); }
    bool CheckBuilt(size_t pos, size_t adding) {
        if (BuiltBytes() + adding <= options_.maxDocumentBytes) return true;
        return Fail(pos, "the objects read so far take more than " + std::to_string(options_.maxDocumentBytes) +
                             " bytes of memory, the reader's limit", XStatus::LimitExceeded);
    }
    bool CheckObjectCount(size_t pos) {
        if (doc_->nodes.size() < options_.maxObjects) return CheckBuilt(pos, sizeof(XNode));
        return Fail(pos, "more than " + std::to_string(options_.maxObjects) + " objects and references, the reader's limit",
                    XStatus::LimitExceeded);
    }
    bool Fail(size_t pos, const std::string& what, XStatus status = XStatus::ParseError) {
        if (error_.empty()) {
            error_ = Where(pos) + ": " + what;
            status_ = status;
        }
        return false;
    }
    static std::string Describe(const Token& t) {
        switch (t.kind) {
            case Kind::Eof: return "the end of the data";
            case Kind::Word: return "'" + std::string(t.text.substr(0, 64)) + "'";
            case Kind::String: return "a string";
            case Kind::Guid: return "a GUID";
            case Kind::Integer: return "an integer";
            case Kind::IntList: return "an integer list";
            case Kind::FloatList: return "a float list";
            case Kind::OBrace: return "'{'";
            case Kind::CBrace: return "'}'";
            case Kind::OBracket: return "'['";
            case Kind::CBracket: return "']'";
            case Kind::OParen: return "'('";
            case Kind::CParen: return "')'";
            case Kind::OAngle: return "'<'";
            case Kind::CAngle: return "'>'";
            case Kind::Dot: return "'.'";
            case Kind::Comma: return "','";
            case Kind::Semicolon: return "';'";
            case Kind::Template: return "'template'";
            case Kind::Array: return "'array'";
            case Kind::Type: return "the keyword '" + std::string(t.text) + "'";
        }
        return "?";
    }

    // ----- lexing -----
    bool Next(Token* t) {
        if (hasPeek_) {
            *t = peek_;
            hasPeek_ = false;
            return true;
        }
        return binary_ ? LexBinary(t) : LexText(t);
    }
    bool Peek(const Token** t) {
        if (!hasPeek_) {
            if (!(binary_ ? LexBinary(&peek_) : LexText(&peek_))) return false;
            hasPeek_ = true;
        }
        *t = &peek_;
        return true;
    }

    // Moves past the blanks and comments before the next token of text data.
    void SkipBlanks() {
        while (pos_ < n_) {
            uint8_t c = d_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0 || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '#' || (c == '/' && pos_ + 1 < n_ && d_[pos_ + 1] == '/')) {
                const void* nl = std::memchr(d_ + pos_, '\n', n_ - pos_);
                pos_ = nl ? static_cast<size_t>(static_cast<const uint8_t*>(nl) - d_) : n_;
            } else {
                break;
            }
        }
    }
    // One past the last byte of the word of text data that starts at `from`.
    size_t WordEnd(size_t from) const {
        while (from < n_ && !kEndsWord[d_[from]] && !(d_[from] == '/' && from + 1 < n_ && d_[from + 1] == '/')) ++from;
        return from;
    }

    bool LexText(Token* t) {
        SkipBlanks();
        *t = Token{};
        t->pos = pos_;
        if (pos_ >= n_) return true;
        const char c = static_cast<char>(d_[pos_]);
        switch (c) {
            case '{': t->kind = Kind::OBrace; ++pos_; return true;
            case '}': t->kind = Kind::CBrace; ++pos_; return true;
            case '[': t->kind = Kind::OBracket; ++pos_; return true;
            case ']': t->kind = Kind::CBracket; ++pos_; return true;
            case '(': t->kind = Kind::OParen; ++pos_; return true;
            case ')': t->kind = Kind::CParen; ++pos_; return true;
            case ',': t->kind = Kind::Comma; ++pos_; return true;
            case ';': t->kind = Kind::Semicolon; ++pos_; return true;
            case '>': t->kind = Kind::CAngle; ++pos_; return true;
            case '<': {
                size_t limit = std::min(n_, pos_ + 64);
                size_t close = pos_ + 1;
                while (close < limit && d_[close] != '>') ++close;
                if (close >= limit) return Fail(pos_, "'<' does not start a GUID");
                size_t a = pos_ + 1, b = close;
                while (a < b && (d_[a] == ' ' || d_[a] == '\t')) ++a;
                while (b > a && (d_[b - 1] == ' ' || d_[b - 1] == '\t')) --b;
                if (!ParseGuid(std::string_view(reinterpret_cast<const char*>(d_ + a), b - a), &t->guid))
                    return Fail(pos_, "malformed GUID");
                t->kind = Kind::Guid;
                pos_ = close + 1;
                return true;
            }
            case '"': {
                const void* q = std::memchr(d_ + pos_ + 1, '"', n_ - pos_ - 1);
                if (!q) return Fail(pos_, "string is not closed");
                size_t close = static_cast<size_t>(static_cast<const uint8_t*>(q) - d_);
                t->kind = Kind::String;
                t->text = std::string_view(reinterpret_cast<const char*>(d_ + pos_ + 1), close - pos_ - 1);
                pos_ = close + 1;
                return true;
            }
            default: break;
        }
        if (static_cast<uint8_t>(c) < ' ') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<uint8_t>(c)));
            return Fail(pos_, std::string("unexpected control byte ") + hex + " in text data");
        }
        size_t start = pos_;
        pos_ = WordEnd(pos_);
        t->text = std::string_view(reinterpret_cast<const char*>(d_ + start), pos_ - start);
        t->kind = Kind::Word;
        if (!IsAsciiLetter(t->text[0])) return true;  // every keyword is a word of letters
        for (const Keyword& k : kKeywords) {
            if (SameIgnoringCase(k.word, t->text)) {
                t->kind = k.kind;
                t->type = k.type;
                break;
            }
        }
        return true;
    }

    bool LexBinary(Token* t) {
        *t = Token{};
        t->pos = pos_;
        if (pos_ >= n_) return true;
        if (n_ - pos_ < 2) return Fail(pos_, "truncated token");
        uint16_t tok = Le16(d_ + pos_);
        size_t p = pos_ + 2;
        auto need = [&](uint64_t bytes) { return bytes <= n_ - p; };
        switch (tok) {
            case kTokName:
            case kTokString: {
                if (!need(4)) return Fail(pos_, "truncated name or string token");
                uint32_t count = Le32(d_ + p);
                p += 4;
                if (!need(count))
                    return Fail(pos_, "name or string of " + std::to_string(count) + " bytes runs past the end");
                t->kind = tok == kTokName ? Kind::Word : Kind::String;
                t->text = std::string_view(reinterpret_cast<const char*>(d_ + p), count);
                p += count;
                break;
            }
            case kTokInteger:
                if (!need(4)) return Fail(pos_, "truncated integer token");
                t->kind = Kind::Integer;
                t->dataPos = p;
                p += 4;
                break;
            case kTokGuid:
                if (!need(16)) return Fail(pos_, "truncated GUID token");
                t->kind = Kind::Guid;
                t->guid = GuidFromBytes(d_ + p);
                p += 16;
                break;
            case kTokIntegerList:
            case kTokFloatList: {
                if (!need(4)) return Fail(pos_, "truncated list token");
                uint32_t count = Le32(d_ + p);
                p += 4;
                uint64_t elem = tok == kTokIntegerList ? 4 : (float64_ ? 8 : 4);
                if (!need(uint64_t(count) * elem))
                    return Fail(pos_, "list of " + std::to_string(count) + " elements runs past the end");
                t->kind = tok == kTokIntegerList ? Kind::IntList : Kind::FloatList;
                t->count = count;
                t->dataPos = p;
                p += count * elem;
                break;
            }
            case kTokOBrace: t->kind = Kind::OBrace; break;
            case kTokCBrace: t->kind = Kind::CBrace; break;
            case kTokOParen: t->kind = Kind::OParen; break;
            case kTokCParen: t->kind = Kind::CParen; break;
            case kTokOBracket: t->kind = Kind::OBracket; break;
            case kTokCBracket: t->kind = Kind::CBracket; break;
            case kTokOAngle: t->kind = Kind::OAngle; break;
            case kTokCAngle: t->kind = Kind::CAngle; break;
            case kTokDot: t->kind = Kind::Dot; break;
            case kTokComma: t->kind = Kind::Comma; break;
            case kTokSemicolon: t->kind = Kind::Semicolon; break;
            case kTokTemplate: t->kind = Kind::Template; t->text = "template"; break;
            case kTokArray: t->kind = Kind::Array; t->text = "array"; break;
            default:
                if (tok >= kTokWord && tok <= kTokCstring && tok != kTokVoid) {
                    static constexpr XType kTypes[] = {XType::Word,  XType::Dword,  XType::Float,  XType::Double,
                                                       XType::Char,  XType::Uchar,  XType::Sword,  XType::Sdword,
                                                       XType::Dword, XType::String, XType::Unicode, XType::Cstring};
                    t->kind = Kind::Type;
                    t->type = kTypes[tok - kTokWord];
                    t->text = TypeKeyword(t->type);
                    break;
                }
                return Fail(pos_, "unknown binary token " + std::to_string(tok));
        }
        pos_ = p;
        return true;
    }

    size_t RemainingBytes() const {
        // A token read ahead has moved pos_ past itself (and past a list's values); the bytes
        // still to be read start at the open list's values, else at the peeked token.
        size_t from = (binary_ && listLeft_ > 0) ? listPos_ : (hasPeek_ ? peek_.pos : pos_);
        return n_ > from ? n_ - from : 0;
    }

    // ----- values -----
    bool EnsureList(bool wantFloat, const ValueOf& what) {
        while (listLeft_ == 0) {
            Token t;
            if (!Next(&t)) return false;
            if (t.kind == Kind::Comma || t.kind == Kind::Semicolon) continue;
            if (t.kind == Kind::IntList || t.kind == Kind::FloatList) {
                listFloat_ = t.kind == Kind::FloatList;
                listLeft_ = t.count;
                listPos_ = t.dataPos;
            } else if (t.kind == Kind::Integer) {
                listFloat_ = false;
                listLeft_ = 1;
                listPos_ = t.dataPos;
            } else {
                return Fail(t.pos, std::string("expected ") + (wantFloat ? "float" : "integer") + " data for " + Text(what) +
                                       ", found " + Describe(t));
            }
        }
        if (listFloat_ != wantFloat)
            return Fail(listPos_, std::string("expected ") + (wantFloat ? "float" : "integer") + " data for " + Text(what) +
                                      ", found " + (listFloat_ ? "a float list" : "an integer list"));
        return true;
    }

    // The word of text data that comes next (read ahead or at the read position), when a word
    // does: a number of a list, most likely. The position moves past the blanks before it only.
    bool NextWord(std::string_view* text) {
        if (hasPeek_) {
            if (peek_.kind != Kind::Word) return false;
            *text = peek_.text;
            return true;
        }
        SkipBlanks();
        const size_t end = WordEnd(pos_);
        if (end == pos_) return false;
        *text = std::string_view(reinterpret_cast<const char*>(d_ + pos_), end - pos_);
        return true;
    }
    // Takes the word NextWord gave and the separators after it, as TextNumber does, without
    // making tokens of the separators.
    void TakeWord(std::string_view text) {
        if (hasPeek_) {
            lastPos_ = peek_.pos;
            hasPeek_ = false;
        } else {
            lastPos_ = pos_;
            pos_ += text.size();
        }
        for (SkipBlanks(); pos_ < n_ && (d_[pos_] == ',' || d_[pos_] == ';'); SkipBlanks()) ++pos_;
    }

    bool TextNumber(const ValueOf& what, std::string_view* text) {
        Token t;
        if (!Next(&t)) return false;
        if (t.kind != Kind::Word) return Fail(t.pos, "expected a number for " + Text(what) + ", found " + Describe(t));
        *text = t.text;
        lastPos_ = t.pos;
        return SkipSeparators();
    }
    bool SkipSeparators() {
        const Token* p;
        while (true) {
            if (!Peek(&p)) return false;
            if (p->kind != Kind::Comma && p->kind != Kind::Semicolon) return true;
            hasPeek_ = false;
        }
    }

    bool Append(const void* bytes, size_t size) {
        if (!CheckBuilt(lastPos_, size)) return false;
        const uint8_t* b = static_cast<const uint8_t*>(bytes);
        doc_->payloads.insert(doc_->payloads.end(), b, b + size);
        return true;
    }
    // One 32-bit value in memory order, the payload's most common element.
    bool AppendWord(uint32_t bits) {
        if (!CheckBuilt(lastPos_, 4)) return false;
        std::vector<uint8_t>& p = doc_->payloads;
        const size_t at = p.size();
        p.resize(at + 4);
        std::memcpy(p.data() + at, &bits, 4);
        return true;
    }

    bool ReadInteger(XType type, const ValueOf& what) {
        int64_t value = 0;
        if (binary_) {
            if (!EnsureList(false, what)) return false;
            uint32_t raw = Le32(d_ + listPos_);
            lastPos_ = listPos_;
            listPos_ += 4;
            --listLeft_;
            bool isSigned = type == XType::Char || type == XType::Sword || type == XType::Sdword;
            value = isSigned ? static_cast<int64_t>(static_cast<int32_t>(raw)) : static_cast<int64_t>(raw);
        } else {
            // A word that is a whole number is taken as it stands; anything else goes through
            // the tokens, which say what is wrong.
            std::string_view text;
            const bool fast = NextWord(&text);
            const auto r = fast ? std::from_chars(text.data(), text.data() + text.size(), value) : std::from_chars_result{};
            if (fast && r.ec == std::errc() && r.ptr == text.data() + text.size()) {
                TakeWord(text);
            } else {
                if (!TextNumber(what, &text)) return false;
                auto slow = std::from_chars(text.data(), text.data() + text.size(), value);
                if (slow.ec != std::errc() || slow.ptr != text.data() + text.size())
                    return Fail(lastPos_, "'" + std::string(text.substr(0, 40)) + "' is not an integer (" + Text(what) + ")");
            }
        }
        int64_t lo = 0, hi = 0;
        switch (type) {
            case XType::Word: hi = 0xFFFF; break;
            case XType::Dword: hi = 0xFFFFFFFFll; break;
            case XType::Char: lo = -128; hi = 127; break;
            case XType::Uchar: hi = 255; break;
            case XType::Sword: lo = -32768; hi = 32767; break;
            default: lo = INT32_MIN; hi = INT32_MAX; break;
        }
        if (value < lo || value > hi)
            return Fail(lastPos_, "value " + std::to_string(value) + " is out of range for " +
                                      std::string(TypeKeyword(type)) + " (" + Text(what) + ")");
        uint32_t bits = static_cast<uint32_t>(value);
        lastInt_ = bits;
        const size_t size = PrimitiveSize(type);
        if (size == 4) return AppendWord(bits);
        uint8_t b[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
                        static_cast<uint8_t>(bits >> 24)};
        return Append(b, size);
    }

    bool ReadFloat(XType type, const ValueOf& what) {
        double value = 0;
        if (binary_) {
            if (!EnsureList(true, what)) return false;
            lastPos_ = listPos_;
            if (float64_) {
                std::memcpy(&value, d_ + listPos_, 8);
                listPos_ += 8;
            } else {
                float f;
                std::memcpy(&f, d_ + listPos_, 4);
                value = f;
                listPos_ += 4;
            }
            --listLeft_;
        } else {
            std::string_view text;
            const auto parse = [&value](std::string_view word) {
                if (!word.empty() && word[0] == '+') word.remove_prefix(1);
                const auto r = std::from_chars(word.data(), word.data() + word.size(), value);
                return r.ec == std::errc() && r.ptr == word.data() + word.size() && std::isfinite(value);
            };
            if (NextWord(&text) && parse(text)) {
                TakeWord(text);
            } else {
                if (!TextNumber(what, &text)) return false;
                if (!parse(text))
                    return Fail(lastPos_, "'" + std::string(text.substr(0, 40)) + "' is not a number (" + Text(what) + ")");
            }
        }
        if (type == XType::Double) return Append(&value, 8);
        float f = static_cast<float>(value);
        if (!std::isfinite(f) && std::isfinite(value))
            return Fail(lastPos_, "value is out of range for FLOAT (" + Text(what) + ")");
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return AppendWord(bits);
    }

    bool ReadString(const ValueOf& what) {
        Token t;
        if (binary_ && listLeft_ > 0)
            return Fail(listPos_, "expected a string for " + Text(what) + ", found " + std::to_string(listLeft_) +
                                      " more list values");
        do {
            if (!Next(&t)) return false;
        } while (t.kind == Kind::Comma || t.kind == Kind::Semicolon);
        if (t.kind != Kind::String) return Fail(t.pos, "expected a string for " + Text(what) + ", found " + Describe(t));
        if (std::memchr(t.text.data(), 0, t.text.size()) != nullptr)
            return Fail(t.pos, "string holds a NUL byte (" + Text(what) + ")");
        lastPos_ = t.pos;
        uint8_t nul = 0;
        if (!Append(t.text.data(), t.text.size()) || !Append(&nul, 1)) return false;
        return binary_ ? true : SkipSeparators();
    }

    // Copies `count` 32-bit list elements straight into the payload (binary files only).
    bool CopyListValues(bool isFloat, uint64_t count, const ValueOf& what) {
        while (count > 0) {
            if (!EnsureList(isFloat, what)) return false;
            uint64_t take = std::min<uint64_t>(listLeft_, count);
            lastPos_ = listPos_;
            if (!Append(d_ + listPos_, take * 4)) return false;
            listPos_ += take * 4;
            listLeft_ -= static_cast<uint32_t>(take);
            count -= take;
        }
        return true;
    }

    // Reads elements of perElement values of type (FLOAT, DWORD or SDWORD) of a text array
    // straight into their place in the payload, as ReadValue would, while every value is a plain
    // number in its type's range. Stops at the start of the element holding any other value,
    // which ReadValue then reads and reports; `done` receives the elements read.
    bool ReadTextArray(XType type, uint64_t count, uint32_t perElement, uint64_t* done) {
        *done = 0;
        if (!CheckBuilt(hasPeek_ ? peek_.pos : pos_, count * perElement * 4)) return false;
        std::vector<uint8_t>& payloads = doc_->payloads;
        const size_t at = payloads.size();
        payloads.resize(at + count * perElement * 4);
        uint8_t* out = payloads.data() + at;
        uint64_t element = 0;
        for (; element < count; ++element) {
            const size_t start = hasPeek_ ? peek_.pos : pos_;
            uint32_t v = 0;
            for (std::string_view text; v < perElement && NextWord(&text); ++v) {
                uint32_t bits;
                if (type == XType::Float) {
                    const std::string_view number = text.starts_with('+') ? text.substr(1) : text;
                    double value = 0;
                    const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
                    const float f = static_cast<float>(value);
                    if (r.ec != std::errc() || r.ptr != number.data() + number.size() || !std::isfinite(f)) break;
                    std::memcpy(&bits, &f, 4);
                } else {
                    int64_t value = 0;
                    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
                    const bool inRange = type == XType::Dword ? value >= 0 && value <= 0xFFFFFFFFll
                                                              : value >= INT32_MIN && value <= INT32_MAX;
                    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !inRange) break;
                    bits = static_cast<uint32_t>(value);
                }
                TakeWord(text);
                std::memcpy(out + 4 * (element * perElement + v), &bits, 4);
            }
            if (v < perElement) {
                // Read again, value by value, from the element's start.
                pos_ = start;
                hasPeek_ = false;
                break;
            }
        }
        payloads.resize(at + element * perElement * 4);
        *done = element;
        return true;
    }

    bool ReadStruct(uint32_t templateIndex) {
        const XTemplate& t = doc_->templates.at(templateIndex);
        size_t base = memberValues_.size();
        memberValues_.resize(base + t.members.size());
        for (size_t i = 0; i < t.members.size(); ++i) {
            const XMember& m = t.members[i];
            uint64_t count = 1;
            if (m.isArray) {
                for (int d = 0; d < m.dimensionCount; ++d) {
                    const XDimension& dim = m.dimensions[d];
                    uint64_t v = dim.memberIndex >= 0 ? memberValues_[base + dim.memberIndex] : dim.size;
                    count = v == 0 ? 0 : (count > (uint64_t(1) << 40) / v ? (uint64_t(1) << 40) : count * v);
                }
                if (count > RemainingBytes())
                    return Fail(pos_, "array '" + m.name + "' of '" + t.name + "' declares " + std::to_string(count) +
                                          " elements, but only " + std::to_string(RemainingBytes()) + " bytes remain",
                                XStatus::LimitExceeded);
            }
            if (m.isArray && count > 0 && binary_ && !float64_ && m.type == XType::Template &&
                doc_->templates.at(m.templateIndex).countedDwords) {
                // Counted lists of integers (MeshFace): each element's count and values copied
                // straight from the lists, as ReadStruct would, with one description of the member
                // made for all of them.
                const XTemplate& sub = doc_->templates.at(m.templateIndex);
                const ValueOf what{sub.members[1].name, sub.name};
                for (uint64_t k = 0; k < count; ++k) {
                    if (!CopyListValues(false, 1, what)) return false;
                    uint32_t n = 0;
                    std::memcpy(&n, doc_->payloads.data() + doc_->payloads.size() - 4, 4);
                    if (n > RemainingBytes())
                        return Fail(pos_, "array " + Text(what) + " declares " + std::to_string(n) + " elements, but only " +
                                              std::to_string(RemainingBytes()) + " bytes remain",
                                    XStatus::LimitExceeded);
                    if (n > 0 && !CopyListValues(false, n, what)) return false;
                }
                continue;
            }
            if (m.isArray && count > 0 && binary_ && !float64_) {
                int uniform = 0;
                uint64_t perElement = 1;
                if (m.type == XType::Float) {
                    uniform = 2;
                } else if (m.type == XType::Dword || m.type == XType::Sdword) {
                    uniform = 1;
                } else if (m.type == XType::Template) {
                    const XTemplate& sub = doc_->templates.at(m.templateIndex);
                    if (sub.fixedSize > 0 && sub.uniformKind != 0) {
                        uniform = sub.uniformKind;
                        perElement = static_cast<uint64_t>(sub.fixedSize) / 4;
                    }
                }
                if (uniform != 0) {
                    if (!CopyListValues(uniform == 2, count * perElement, ValueOf{m.name, t.name}))
                        return false;
                    continue;
                }
            }
            uint64_t k = 0;
            if (m.isArray && count > 0 && !binary_) {
                // Arrays of FLOATs (also of templates made of FLOATs alone) and of 32-bit integers
                // are read in one go while their values are plain numbers.
                const XTemplate* sub = m.type == XType::Template ? &doc_->templates.at(m.templateIndex) : nullptr;
                const bool floats = m.type == XType::Float || (sub && sub->fixedSize > 0 && sub->uniformKind == 2);
                if (floats || m.type == XType::Dword || m.type == XType::Sdword) {
                    const uint32_t perElement = sub ? static_cast<uint32_t>(sub->fixedSize / 4) : 1;
                    if (!ReadTextArray(floats ? XType::Float : m.type, count, perElement, &k)) return false;
                }
            }
            for (; k < count; ++k) {
                if (!ReadValue(m, t)) return false;
            }
            if (!m.isArray && IsIntegerType(m.type)) memberValues_[base + i] = lastInt_;
        }
        memberValues_.resize(base);
        return true;
    }

    bool ReadValue(const XMember& m, const XTemplate& owner) {
        switch (m.type) {
            case XType::Template: return ReadStruct(m.templateIndex);
            case XType::String: return ReadString(ValueOf{m.name, owner.name});
            case XType::Float:
            case XType::Double: return ReadFloat(m.type, ValueOf{m.name, owner.name});
            case XType::Unicode:
            case XType::Cstring:
                return Fail(pos_, "member '" + m.name + "' of '" + owner.name + "' has an unsupported type");
            default: return ReadInteger(m.type, ValueOf{m.name, owner.name});
        }
    }

    // ----- objects -----
    uint32_t AddName(std::string_view name) {
        uint32_t offset = static_cast<uint32_t>(doc_->names.size());
        doc_->names.append(name);
        return offset;
    }

    bool BeginObject(const Token& head, uint32_t parent, uint32_t depth) {
        int ti = doc_->templates.FindByName(head.text);
        if (ti < 0)
            return Fail(head.pos, "unknown template '" + std::string(head.text.substr(0, 64)) +
                                      "' (neither defined in the file nor a published template)",
                        XStatus::UnknownTemplate);
        if (!CheckObjectCount(head.pos)) return false;
        XNode node;
        node.templateIndex = static_cast<uint32_t>(ti);
        node.parent = parent;
        node.depth = depth;
        node.sourceOffset = fileOffset_ + head.pos;
        Token t;
        if (!Next(&t)) return false;
        if (IsNameLike(t.kind)) {
            node.nameOffset = AddName(t.text);
            node.nameSize = static_cast<uint32_t>(t.text.size());
            if (!Next(&t)) return false;
        }
        if (t.kind != Kind::OBrace)
            return Fail(t.pos, "expected '{' after '" + std::string(head.text) + "', found " + Describe(t));
        const Token* p;
        if (!Peek(&p)) return false;
        if (p->kind == Kind::Guid) {
            node.hasGuid = true;
            node.guid = p->guid;
            hasPeek_ = false;
        }
        node.payloadOffset = doc_->payloads.size();
        uint32_t index = static_cast<uint32_t>(doc_->nodes.size());
        doc_->nodes.push_back(node);
        current_ = index;
        if (!ReadStruct(node.templateIndex)) return false;
        if (binary_ && listLeft_ > 0)
            return Fail(listPos_, std::to_string(listLeft_) + " list values left over after the members of '" +
                                      std::string(head.text) + "'");
        doc_->nodes[index].payloadSize = doc_->payloads.size() - node.payloadOffset;
        if (options_.onObject) {
            options_.onObject(*doc_, doc_->nodes[index], doc_->Payload(doc_->nodes[index]));
            doc_->payloads.resize(node.payloadOffset);
            doc_->nodes[index].payloadSize = 0;
        }
        return true;
    }

    bool ParseObjects(const Token& head) {
        std::vector<uint32_t> open;
        if (!BeginObject(head, kNoNode, 0)) return false;
        open.push_back(static_cast<uint32_t>(doc_->nodes.size() - 1));
        Token t;
        while (!open.empty()) {
            if (!Next(&t)) return false;
            switch (t.kind) {
                case Kind::CBrace:
                    doc_->nodes[open.back()].end = static_cast<uint32_t>(doc_->nodes.size());
                    open.pop_back();
                    current_ = open.empty() ? kNoNode : open.back();
                    break;
                case Kind::Comma:
                case Kind::Semicolon: break;
                case Kind::OBrace: {
                    XNode ref;
                    ref.isReference = true;
                    ref.parent = open.back();
                    ref.depth = static_cast<uint32_t>(open.size());
                    ref.sourceOffset = fileOffset_ + t.pos;
                    ref.payloadOffset = doc_->payloads.size();
                    Token a;
                    if (!Next(&a)) return false;
                    if (IsNameLike(a.kind)) {
                        ref.nameOffset = AddName(a.text);
                        ref.nameSize = static_cast<uint32_t>(a.text.size());
                        if (!Next(&a)) return false;
                    }
                    if (a.kind == Kind::Guid) {
                        ref.hasGuid = true;
                        ref.guid = a.guid;
                        if (!Next(&a)) return false;
                    }
                    if (a.kind != Kind::CBrace || (ref.nameSize == 0 && !ref.hasGuid))
                        return Fail(a.pos, "malformed data reference: found " + Describe(a));
                    if (!CheckObjectCount(t.pos)) return false;
                    ref.end = static_cast<uint32_t>(doc_->nodes.size() + 1);
                    doc_->nodes.push_back(ref);
                    break;
                }
                case Kind::Word: {
                    if (open.size() >= options_.maxDepth)
                        return Fail(t.pos, "objects nested deeper than " + std::to_string(options_.maxDepth),
                                    XStatus::LimitExceeded);
                    if (!BeginObject(t, open.back(), static_cast<uint32_t>(open.size()))) return false;
                    open.push_back(static_cast<uint32_t>(doc_->nodes.size() - 1));
                    break;
                }
                case Kind::Eof: {
                    const XNode& o = doc_->nodes[open.back()];
                    return Fail(t.pos, "the data ends before this object is closed (it starts at byte " +
                                           std::to_string(o.sourceOffset) + ")");
                }
                default: return Fail(t.pos, "expected a child object, a reference or '}', found " + Describe(t));
            }
        }
        return true;
    }

    // ----- templates -----
    bool Expect(Kind kind, const char* what) {
        Token t;
        if (!Next(&t)) return false;
        if (t.kind != kind) return Fail(t.pos, std::string("expected ") + what + ", found " + Describe(t));
        return true;
    }

    bool ParseRestriction(XTemplate* t) {
        const Token* p;
        if (!Peek(&p)) return false;
        if (p->kind == Kind::Dot || (p->kind == Kind::Word && p->text.starts_with("."))) {
            Token dot;
            do {
                if (!Next(&dot)) return false;
                if (!Peek(&p)) return false;
            } while (p->kind == Kind::Dot || (p->kind == Kind::Word && p->text.find_first_not_of('.') == std::string_view::npos));
            t->restriction = XRestriction::Open;
            return Expect(Kind::CBracket, "']'");
        }
        t->restriction = XRestriction::Restricted;
        while (true) {
            Token name;
            if (!Next(&name)) return false;
            if (!IsNameLike(name.kind)) return Fail(name.pos, "expected a template name in a restriction, found " + Describe(name));
            XRestrictionEntry entry;
            entry.name = std::string(name.text);
            if (!Peek(&p)) return false;
            if (p->kind == Kind::Guid) {
                entry.hasGuid = true;
                entry.guid = p->guid;
                hasPeek_ = false;
            }
            if (t->allowed.size() >= kMaxMembersPerTemplate)
                return Fail(name.pos, "restriction lists too many templates", XStatus::LimitExceeded);
            t->allowed.push_back(std::move(entry));
            Token sep;
            if (!Next(&sep)) return false;
            if (sep.kind == Kind::CBracket) return true;
            if (sep.kind != Kind::Comma) return Fail(sep.pos, "expected ',' or ']' in a restriction, found " + Describe(sep));
        }
    }

    bool ParseTemplate() {
        Token name;
        if (!Next(&name)) return false;
        if (name.kind != Kind::Word) return Fail(name.pos, "expected a template name, found " + Describe(name));
        if (!Expect(Kind::OBrace, "'{'")) return false;
        Token guid;
        if (!Next(&guid)) return false;
        if (guid.kind != Kind::Guid) return Fail(guid.pos, "expected the template's GUID, found " + Describe(guid));
        XTemplate t;
        t.name = std::string(name.text);
        t.guid = guid.guid;
        Token tok;
        while (true) {
            if (!Next(&tok)) return false;
            if (tok.kind == Kind::CBrace) break;
            if (tok.kind == Kind::OBracket) {
                if (!ParseRestriction(&t) || !Expect(Kind::CBrace, "'}' after the restriction")) return false;
                break;
            }
            XMember m;
            if (tok.kind == Kind::Array) {
                m.isArray = true;
                if (!Next(&tok)) return false;
            }
            if (tok.kind == Kind::Type) {
                m.type = tok.type;
            } else if (tok.kind == Kind::Word) {
                int sub = doc_->templates.FindByName(tok.text);
                if (sub < 0) return Fail(tok.pos, "member type '" + std::string(tok.text.substr(0, 64)) + "' is not a known template");
                m.type = XType::Template;
                m.templateIndex = static_cast<uint32_t>(sub);
            } else {
                return Fail(tok.pos, "expected a member type in template '" + t.name + "', found " + Describe(tok));
            }
            const Token* p;
            if (!Peek(&p)) return false;
            if (p->kind == Kind::Word) {
                m.name = std::string(p->text);
                hasPeek_ = false;
            }
            while (true) {
                if (!Peek(&p)) return false;
                if (p->kind != Kind::OBracket) break;
                hasPeek_ = false;
                if (m.dimensionCount >= 4) return Fail(p->pos, "more than 4 array dimensions");
                Token dim;
                if (!Next(&dim)) return false;
                XDimension& out = m.dimensions[m.dimensionCount++];
                if (dim.kind == Kind::Integer) {
                    out.size = Le32(d_ + dim.dataPos);
                } else if (dim.kind == Kind::Word) {
                    uint32_t literal = 0;
                    auto r = std::from_chars(dim.text.data(), dim.text.data() + dim.text.size(), literal);
                    if (r.ec == std::errc() && r.ptr == dim.text.data() + dim.text.size()) {
                        out.size = literal;
                    } else {
                        for (size_t k = 0; k < t.members.size(); ++k)
                            if (t.members[k].name == dim.text) out.memberIndex = static_cast<int32_t>(k);
                        if (out.memberIndex < 0)
                            return Fail(dim.pos, "array dimension '" + std::string(dim.text.substr(0, 64)) +
                                                     "' is not an earlier member");
                    }
                } else {
                    return Fail(dim.pos, "expected an array dimension, found " + Describe(dim));
                }
                if (!Expect(Kind::CBracket, "']'")) return false;
            }
            if (m.isArray && m.dimensionCount == 0) return Fail(tok.pos, "array member without a dimension");
            if (!Expect(Kind::Semicolon, "';' after a member")) return false;
            if (t.members.size() >= kMaxMembersPerTemplate)
                return Fail(tok.pos, "template has too many members", XStatus::LimitExceeded);
            t.members.push_back(std::move(m));
        }
        uint32_t index = 0;
        XResult added = doc_->templates.Add(std::move(t), &index);
        if (!added.ok()) return Fail(name.pos, added.message);
        doc_->definedTemplates.push_back(index);
        return true;
    }

    const uint8_t* d_;
    size_t n_;
    bool binary_, float64_;
    size_t fileOffset_;
    bool compressed_;
    XDocument* doc_;
    const XReadOptions& options_;
    bool templatesOnly_;

    size_t pos_ = 0;
    Token peek_;
    bool hasPeek_ = false;
    // The binary list being consumed.
    bool listFloat_ = false;
    uint32_t listLeft_ = 0;
    size_t listPos_ = 0;
    size_t lastPos_ = 0;
    uint32_t lastInt_ = 0;
    std::vector<uint32_t> memberValues_;  // integer member values of the open structures
    uint32_t current_ = kNoNode;          // innermost object being read or open, for messages

    std::string error_;
    XStatus status_ = XStatus::Ok;
};

XResult ReadImageChecked(std::span<const uint8_t> data, XDocument* doc, const XReadOptions& options, bool templatesOnly) {
    auto fail = [](const std::string& what) { return XResult::Error(XStatus::ParseError, what); };
    if (data.size() < 16) return fail("file of " + std::to_string(data.size()) + " bytes is shorter than the 16-byte header");
    const char* h = reinterpret_cast<const char*>(data.data());
    if (std::memcmp(h, "xof ", 4) != 0) return fail("byte 0: not an X file (the header does not start with \"xof \")");
    if (std::memcmp(h + 4, "03", 2) != 0 || h[6] < '0' || h[6] > '9' || h[7] < '0' || h[7] > '9')
        return fail("byte 4: unsupported version '" + std::string(h + 4, 4) + "'");
    std::string_view format(h + 8, 4);
    if (format == "txt ") doc->format = XFileFormat::Text;
    else if (format == "bin ") doc->format = XFileFormat::Binary;
    else if (format == "tzip") doc->format = XFileFormat::CompressedText;
    else if (format == "bzip") doc->format = XFileFormat::CompressedBinary;
    else return fail("byte 8: unknown format '" + std::string(format) + "'");
    std::string_view floatSize(h + 12, 4);
    if (floatSize != "0032" && floatSize != "0064") return fail("byte 12: unknown float size '" + std::string(floatSize) + "'");
    doc->floatSize64 = floatSize == "0064";

    std::vector<uint8_t> inflated;
    std::span<const uint8_t> body = data.subspan(16);
    bool compressed = IsCompressedFormat(doc->format);
    if (compressed) {
        if (data.size() < 20) return fail("byte 16: compressed file ends before its size field");
        uint32_t total = Le32(data.data() + 16);
        if (total < 16) return fail("byte 16: compressed size " + std::to_string(total) + " is smaller than the header");
        const MszipLimits limits{options.maxDecompressedBytes, options.expansionCheckedAfter, options.maxExpansion};
        XResult r = DecompressMszip(data.data() + 20, data.size() - 20, total - 16, limits, 20, &inflated);
        if (!r.ok()) return r;
        body = inflated;
    }
    // The payloads of a binary body take a little less than the body, those of a text body
    // usually well under half of it: room for the body's size is made at once, instead of
    // growing by copies (a payload that outgrows it grows as before). Room never written to
    // takes no memory.
    if (!options.onObject && !templatesOnly) doc->payloads.reserve(std::min(body.size(), options.maxDocumentBytes));
    Parser parser(body, !IsTextFormat(doc->format), doc->floatSize64, 16, compressed, doc, options, templatesOnly);
    return parser.Run();
}

// Messages quote names and bytes from the file; none of them may reach a terminal raw.
XResult ReadImage(std::span<const uint8_t> data, XDocument* doc, const XReadOptions& options, bool templatesOnly) {
    XResult r = ReadImageChecked(data, doc, options, templatesOnly);
    if (!r.ok()) r.message = PrintableText(r.message);
    return r;
}

}  // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(byte));
            out += hex;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<uint32_t> XDocument::Roots() const {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < nodes.size(); i = std::max(nodes[i].end, i + 1)) out.push_back(i);
    return out;
}

std::vector<uint32_t> XDocument::Children(uint32_t index) const {
    std::vector<uint32_t> out;
    for (uint32_t i = index + 1; i < nodes[index].end; i = std::max(nodes[i].end, i + 1)) out.push_back(i);
    return out;
}

XResult ReadXFile(std::span<const uint8_t> data, XDocument* doc, const XReadOptions& options) {
    *doc = XDocument{};
    doc->templates = options.templates ? *options.templates : PublishedTemplates();
    return ReadImage(data, doc, options, false);
}

XResult ReadXFileFromPath(const std::string& path, XDocument* doc, const XReadOptions& options) {
    std::error_code ec;
    const std::filesystem::path file = PathOfUtf8(path);
    uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return XResult::Error(XStatus::IoError, path + ": " + ec.message());
    if (size > options.maxDecompressedBytes)
        return XResult::Error(XStatus::LimitExceeded, path + ": file of " + std::to_string(size) + " bytes is too large");
    // Not zero-filled first: every byte is read over at once.
    const std::unique_ptr<uint8_t[]> bytes(new uint8_t[static_cast<size_t>(size)]);
    std::ifstream in(file, std::ios::binary);
    if (!in || !in.read(reinterpret_cast<char*>(bytes.get()), static_cast<std::streamsize>(size)))
        return XResult::Error(XStatus::IoError, path + ": cannot be read");
    XResult r = ReadXFile(std::span<const uint8_t>(bytes.get(), static_cast<size_t>(size)), doc, options);
    if (!r.ok()) r.message = path + ": " + r.message;
    return r;
}

XResult RegisterTemplateImage(std::span<const uint8_t> image, XTemplateRegistry* registry) {
    XDocument doc;
    doc.templates = *registry;
    XReadOptions options;
    XResult r = ReadImage(image, &doc, options, true);
    if (r.ok()) *registry = std::move(doc.templates);
    return r;
}

}  // namespace xfile
