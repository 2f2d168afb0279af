// Files that appear whole or not at all: written beside their target under a temporary name,
// flushed to the disk and renamed into place. A failure at any step removes the temporary and
// leaves the target as it was.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// A unique name in the target's directory (same file system, so the rename is atomic):
// "<target>.tmp<process id>_<n>" (core/temporary_name.h).
std::string TemporaryNameBeside(const std::string& target);

// One file being written. Open() creates the temporary, Commit() puts it in place; a file
// destroyed without a successful Commit() removes its temporary.
class AtomicFile {
public:
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary (and the target's missing directories). False, with error set,
    // when it cannot be created.
    bool Open();
    // The open temporary; null before Open() or after Commit()/Discard().
    std::FILE* stream() const { return file_; }
    bool Write(std::string_view bytes);
    // Flushes, syncs, closes and renames onto the target. False, with error set and the target
    // untouched, when any step failed (including an earlier Write).
    bool Commit();
    // Closes and removes the temporary; the target stays as it was.
    void Discard();

    const std::string& target() const { return target_; }
    const std::string& temporary() const { return temp_; }
    // What went wrong, in plain words ("cannot create ...: No space left on device").
    const std::string& error() const { return error_; }

private:
    bool Fail(const std::string& what);

    std::string target_;
    std::string temp_;
    std::string error_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

// Removes the temporaries "<target>.tmp<process id>_<n>" that processes no longer running left
// beside target (a process killed while writing cannot remove its own). Returns how many.
int RemoveStaleTemporariesOf(const std::string& target);

// Writes bytes to path atomically. False, with *error set when given, on failure.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);
