#include "core/nesting_scan.h"

bool NestingScan::Feed(std::string_view text) {
    for (const char c : text) {
        if (c == '\n') {
            ++line_;
            column_ = 0;
        } else {
            ++column_;
        }
        if (kind_ == Kind::Xml ? !Xml(c) : !Brace(c)) return false;
        previous_ = c;
    }
    return true;
}

bool NestingScan::Brace(char c) {
    if (state_ == State::LineComment) {
        if (c == '\n') state_ = State::Content;
        return true;
    }
    if (state_ == State::String) {
        // Outside JSON, strings end at their quote or, in a damaged file, at the end of the
        // line, so that one stray quote cannot hide the rest of the file.
        if (escaped_) escaped_ = false;
        else if (c == '\\' && kind_ != Kind::XText) escaped_ = true;
        else if (c == '"' || (c == '\n' && kind_ != Kind::Json)) state_ = State::Content;
        return true;
    }
    if (c == '"') {
        state_ = State::String;
    } else if (kind_ == Kind::Json) {
        if (c == '[' || c == '{') return Open();
        if (c == ']' || c == '}') Close();
    } else if (kind_ == Kind::FbxAscii ? c == ';' : (c == '#' || (c == '/' && previous_ == '/'))) {
        state_ = State::LineComment;
    } else if (c == '{') {
        return Open();
    } else if (c == '}') {
        Close();
    }
    return true;
}

bool NestingScan::Xml(char c) {
    switch (state_) {
        case State::Content:
            if (c == '<') state_ = State::TagStart;
            return true;
        case State::TagStart:
            if (c == '/') state_ = State::CloseTag;
            else if (c == '!') state_ = State::Bang;
            else if (c == '?') state_ = State::Declaration;
            else if (c == '<') state_ = State::TagStart;
            else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') state_ = State::Content;
            else state_ = State::Tag;
            return true;
        case State::Tag:  // an opening tag nests unless it ends in "/>"
            if (c == '"' || c == '\'') {
                quote_ = c;
                state_ = State::Quoted;
            } else if (c == '>') {
                state_ = State::Content;
                if (previous_ != '/') return Open();
            }
            return true;
        case State::Quoted:
            if (c == quote_) state_ = State::Tag;
            return true;
        case State::CloseTag:
            if (c == '>') {
                Close();
                state_ = State::Content;
            }
            return true;
        case State::Bang:  // "<!--" comment, "<![CDATA[" section, or a declaration
            if (c == '-') state_ = State::BangDash;
            else if (c == '[') state_ = State::CData;
            else state_ = c == '>' ? State::Content : State::Declaration;
            return true;
        case State::BangDash:
            state_ = c == '-' ? State::Comment : (c == '>' ? State::Content : State::Declaration);
            run_ = 0;
            return true;
        case State::Comment:  // ends at "-->"
            if (c == '>' && run_ >= 2) state_ = State::Content;
            run_ = c == '-' ? run_ + 1 : 0;
            return true;
        case State::CData:  // ends at "]]>"
            if (c == '>' && run_ >= 2) state_ = State::Content;
            run_ = c == ']' ? run_ + 1 : 0;
            return true;
        case State::Declaration:
            if (c == '>') state_ = State::Content;
            return true;
        default:
            state_ = State::Content;
            return true;
    }
}

bool FindDeepJsonNesting(std::string_view text, int limit, size_t& line, size_t& column) {
    NestingScan scan(NestingScan::Kind::Json, limit);
    if (scan.Feed(text)) return false;
    line = static_cast<size_t>(scan.line());
    column = static_cast<size_t>(scan.column());
    return true;
}
