// A small tmpfs mounted for one test, so that a full or read-only file system can be met for
// real. Mounting needs privileges; tests skip (with the reason) where the machine refuses.
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

class TmpfsMount {
public:
    // Mounts a tmpfs of sizeBytes at path (created when missing).
    TmpfsMount(const std::filesystem::path& path, size_t sizeBytes) : path_(path) {
        std::error_code ec;
        std::filesystem::create_directories(path_, ec);
        const std::string options = "size=" + std::to_string(sizeBytes) + ",mode=0777";
        if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0)
            mounted_ = true;
        else
            reason_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& reason() const { return reason_; }
    // Makes the file system read-only (true) or writable again.
    bool SetReadOnly(bool readOnly) {
        return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
    }

private:
    std::filesystem::path path_;
    bool mounted_ = false;
    std::string reason_;
};
