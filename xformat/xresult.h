// Result of an operation of the X file layer: a status code and, on failure, a message
// that names what is wrong and where. No exception crosses this layer's interface.
#pragma once

#include <string>
#include <utility>

namespace xfile {

enum class XStatus {
    Ok = 0,
    InvalidArgument,   // a null or malformed argument, an invalid handle
    UnknownTemplate,   // no registered template has the GUID or name
    BadPayload,        // the payload does not match its template
    BadState,          // the call is not allowed now (e.g. after Save, child of a closed object)
    ParseError,        // malformed input: the message names the byte offset or line
    LimitExceeded,     // input exceeds a reader limit (depth, size, count)
    IoError,           // the file system refused
    Cancelled,         // the caller's progress callback asked to stop
};

struct XResult {
    XStatus status = XStatus::Ok;
    std::string message;  // empty on success

    bool ok() const { return status == XStatus::Ok; }
    explicit operator bool() const { return ok(); }

    static XResult Success() { return {}; }
    static XResult Error(XStatus s, std::string text) { return XResult{s, std::move(text)}; }
};

}  // namespace xfile
