#include "core/atomic_write.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/platform.h"
#include "core/temporary_name.h"

namespace fs = std::filesystem;

namespace {

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

std::string TemporaryNameBeside(const std::string& target) { return TemporaryName(target + ".tmp", '_'); }

int RemoveStaleTemporariesOf(const std::string& target) {
    const fs::path path = platform::PathOf(target);
    const std::string prefix = platform::Utf8Of(path.filename()) + ".tmp";
    std::error_code ec;
    fs::directory_iterator it(path.parent_path().empty() ? fs::path(".") : path.parent_path(), ec);
    int removed = 0;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = platform::Utf8Of(it->path().filename());
        const long pid = TemporaryNameProcess(name, prefix, '_');
        if (pid <= 0 || pid == platform::ProcessId()) continue;
        if (platform::ProcessIsRunning(pid)) continue;  // running, or not ours to judge
        std::error_code type;
        if (!it->is_regular_file(type) || type || it->is_symlink(type)) continue;
        std::error_code gone;
        removed += fs::remove(it->path(), gone) ? 1 : 0;
    }
    return removed;
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Fail(const std::string& what) {
    failed_ = true;
    if (error_.empty()) error_ = what;
    return false;
}

bool AtomicFile::Open() {
    if (target_.empty()) return Fail("no file name given");
    std::error_code ec;
    const fs::path parent = platform::PathOf(target_).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    temp_ = TemporaryNameBeside(target_);
    file_ = platform::OpenFile(temp_, "wb");
    if (!file_) {
        const std::string cause = ErrnoText();
        temp_.clear();
        return Fail("cannot create a file beside " + target_ + ": " + cause);
    }
    return true;
}

bool AtomicFile::Write(std::string_view bytes) {
    if (!file_) return Fail("cannot write " + target_ + ": the file is not open");
    if (failed_) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        return Fail("cannot write " + target_ + ": " + ErrnoText());
    return true;
}

bool AtomicFile::Commit() {
    if (!file_) return Fail("cannot write " + target_ + ": the file is not open");
    bool ok = !failed_;
    if (ok) {
        const int error = platform::SyncOpenFile(file_);
        if (error != 0) ok = Fail("cannot write " + target_ + ": " + std::strerror(error));
    }
    if (std::fclose(file_) != 0 && ok) ok = Fail("cannot write " + target_ + ": " + ErrnoText());
    file_ = nullptr;
    if (ok) {
        const std::error_code ec = platform::MoveIntoPlace(temp_, target_);
        if (ec) ok = Fail("cannot replace " + target_ + ": " + ec.message());
    }
    if (!ok) {
        std::error_code ignored;
        fs::remove(platform::PathOf(temp_), ignored);
    }
    temp_.clear();
    return ok;
}

void AtomicFile::Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) {
        std::error_code ignored;
        fs::remove(platform::PathOf(temp_), ignored);
        temp_.clear();
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
    AtomicFile file(path);
    const bool ok = file.Open() && file.Write(bytes) && file.Commit();
    if (!ok && error) *error = file.error();
    return ok;
}
