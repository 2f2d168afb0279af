// What the operating system does differently, in one place: paths given as UTF-8, opening and
// flushing files, replacing a file by another at once, read-only mapped input, processes,
// loadable modules and the program's own location. platform.cpp is the POSIX side,
// platform_win32.cpp the Windows side (built in its stead there); nothing else in the
// exporter or the stand-in host asks which system it runs on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform {

// A path from UTF-8 text, and back. On POSIX systems both are the bytes as they are; on
// Windows the path holds UTF-16, so that names outside the ANSI code page survive.
std::filesystem::path PathOf(std::string_view utf8);
std::string Utf8Of(const std::filesystem::path& path);

// std::fopen of a UTF-8 name.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);
// Creates a new file for writing a copy of the open file source: its permissions are at most the
// source's, so a copy never lets more people read a file than the original does.
std::FILE* OpenCopyOf(const std::string& utf8Path, std::FILE* source);

// Writes bytes as the whole of a new or truncated file. False when that failed.
bool WriteWholeFile(const std::string& utf8Path, std::string_view bytes);

// Writes a file's data to the disk (fdatasync, FlushFileBuffers): 0, or the errno-style cause.
int SyncFile(const std::string& utf8Path);
int SyncOpenFile(std::FILE* file);

// Gives `from` the name `to`, replacing a file there at once: readers see the old file or the
// new one, never neither, and the new name is on the disk when this returns.
std::error_code MoveIntoPlace(const std::string& from, const std::string& to);

// True when the folder takes new files (permissions, a file system mounted for writing).
// Otherwise false, with the cause.
bool FolderTakesNewFiles(const std::string& folder, std::error_code& cause);

long ProcessId();
// True when a process with that id runs (ours excepted is the caller's business).
bool ProcessIsRunning(long pid);

// Where a user's program settings live: $XDG_CONFIG_HOME, else $HOME/.config (POSIX); %APPDATA%
// (Windows). "" when the environment names none.
std::string UserConfigHome();

// The running executable's full path, or "" when the system does not say.
std::string ExecutablePath();
// A file the program installs beside itself: the executable's folder, then the library folder
// a package installs it in (../lib/plover from the executable). The first that exists, else
// the one beside the executable (so that a message names where it was expected).
std::string FindProgramFile(const std::string& name);

// Command-line arguments as UTF-8 (Windows hands main its own code page; the wide command line
// is the true one).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Has the console show UTF-8 output as such, and take the escape sequences that redraw a line
// (Windows); nothing elsewhere.
void UseUtf8Console();
// True when the stream is a terminal (a console window).
bool IsTerminal(std::FILE* stream);

// A file mapped read-only, or read into memory when it cannot be mapped.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False, with problem set ("cannot open PATH", "cannot read PATH"), when the file cannot
    // be read or is not a regular file.
    bool Open(const std::string& utf8Path, std::string& problem);
    const uint8_t* data() const { return data_; }
    uint64_t size() const { return size_; }

private:
    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    void* mapping_ = nullptr;  // the system's view, when mapped
    std::vector<uint8_t> copy_;
};

// A loadable module (a shared object, a DLL). Null handles and symbols with error set on failure.
void* LoadModule(const std::string& utf8Path, bool bindNow, std::string& error);
void* ModuleSymbol(void* module, const char* name);
void UnloadModule(void* module);
// The base (instance handle) of the module that holds the code at address.
void* ModuleOfAddress(const void* address);

}  // namespace platform
