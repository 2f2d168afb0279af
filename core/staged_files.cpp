#include "core/staged_files.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <pthread.h>

#include "core/platform.h"
#include "core/temporary_name.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempMarker = ".plover-";

std::string Folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The path a write to path lands on: symbolic links are followed (a bounded number of times,
// so a loop of links ends) and the file they lead to is the one replaced.
fs::path FollowLinks(const fs::path& path) {
    fs::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(current, ec)) || ec) return current;
        const fs::path link = fs::read_symlink(current, ec);
        if (ec) return current;
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    return current;
}

// A new temporary name in the folder of target, ending in target's file name.
std::string TemporaryBeside(const fs::path& target) {
    const std::string name = TemporaryName(kTempMarker, '-') + "." + platform::Utf8Of(target.filename());
    return platform::Utf8Of(target.parent_path() / platform::PathOf(name));
}

bool ProcessIsRunning(long pid) {
    if (pid == platform::ProcessId()) return false;  // our own: one export at a time
    return platform::ProcessIsRunning(pid);
}

void RemoveQuietly(const std::string& path) {
    if (path.empty()) return;
    std::error_code ec;
    fs::remove(platform::PathOf(path), ec);
}

}  // namespace

std::string TemporaryPrefix() { return TemporaryNamePrefix(kTempMarker, '-'); }

bool IsStagedTemporaryName(std::string_view fileName) {
    // .plover-<process id>-<counter>.<target name>
    if (TemporaryNameProcess(fileName, kTempMarker, '-') == 0) return false;
    const std::string_view rest = fileName.substr(fileName.find('-', kTempMarker.size()) + 1);
    const size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string_view::npos) return false;
    for (char c : rest.substr(0, dot))
        if (c < '0' || c > '9') return false;
    return true;
}

int RemoveStaleTemporaries(const std::string& directory) {
    std::error_code ec;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : platform::PathOf(directory), ec);
    if (ec) return 0;
    int removed = 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string name = platform::Utf8Of(it->path().filename());
        if (!IsStagedTemporaryName(name)) continue;
        if (ProcessIsRunning(TemporaryNameProcess(name, kTempMarker, '-'))) continue;
        std::error_code type;
        if (!it->is_regular_file(type) || type) continue;  // we only ever make regular files
        std::error_code gone;
        if (fs::remove(it->path(), gone)) ++removed;
    }
    return removed;
}

std::string DescribeFileError(int errnoValue) {
    return DescribeFileError(std::error_code(errnoValue, std::generic_category()));
}

std::string DescribeFileError(const std::error_code& error) {
    const std::error_condition c = error.default_error_condition();
    if (c == std::errc::permission_denied || c == std::errc::operation_not_permitted) return "permission denied";
    if (c == std::errc::no_space_on_device) return "no space left on the device";
#ifdef EDQUOT
    if (c.category() == std::generic_category() && c.value() == EDQUOT) return "the disk quota is used up";
#endif
    if (c == std::errc::is_a_directory) return "is a directory";
    if (c == std::errc::no_such_file_or_directory) return "no such file or folder";
    if (c == std::errc::not_a_directory) return "a part of the path is not a folder";
    if (c == std::errc::read_only_file_system) return "the file system is read-only";
    if (c == std::errc::file_too_large) return "the file is too large for the file system";
    if (c == std::errc::filename_too_long) return "the name is too long";
    if (c == std::errc::io_error) return "the device reported an input/output error";
    if (c == std::errc::too_many_files_open || c == std::errc::too_many_files_open_in_system)
        return "too many files are open";
    if (c == std::errc::text_file_busy || c == std::errc::device_or_resource_busy) return "the file is in use";
    std::string text = error.message();
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text.empty() ? std::string("unknown error") : text;
}

bool StagedFiles::CheckTarget(const std::string& target, std::string* cause) {
    auto fail = [&](const char* text) {
        if (cause) *cause = text;
        return false;
    };
    if (target.empty()) return fail("no file name was given");
    const fs::path path = FollowLinks(platform::PathOf(target));
    if (path.filename().empty() || path.filename() == "." || path.filename() == "..")
        return fail("is a directory");
    std::error_code ec;
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    const fs::file_status folderStatus = fs::status(folder, ec);
    if (!fs::exists(folderStatus)) return fail("the folder does not exist");
    if (!fs::is_directory(folderStatus)) return fail("a part of the path is not a folder");
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) return true;
    if (fs::is_directory(status)) return fail("is a directory");
    if (!fs::is_regular_file(status)) return fail("is not a regular file (a named pipe or a device)");
    return true;
}

bool StagedFiles::CanCreateBeside(const std::string& target, std::string* cause) {
    const fs::path folder = FollowLinks(platform::PathOf(target)).parent_path();
    std::error_code why;
    if (platform::FolderTakesNewFiles(platform::Utf8Of(folder), why)) return true;
    if (cause) *cause = DescribeFileError(why);
    return false;
}

std::string StagedFiles::Stage(const std::string& target, Existing existing) {
    if (target.empty() || entryOf_.count(target) > 0) return {};  // kept: nothing to write
    const fs::path resolved = FollowLinks(platform::PathOf(target));
    if (resolved.filename().empty()) return {};
    std::error_code ec;
    entryOf_.emplace(target, entries_.size());
    if (existing == Existing::Keep && fs::exists(fs::symlink_status(resolved, ec))) {
        entries_.push_back({target, {}, platform::Utf8Of(resolved), existing});
        return {};
    }
    Entry entry{target, TemporaryBeside(resolved), platform::Utf8Of(resolved), existing};
    entries_.push_back(entry);
    return entry.temp;
}

std::string StagedFiles::TemporaryOf(const std::string& target) const {
    const auto found = entryOf_.find(target);
    return found == entryOf_.end() ? std::string() : entries_[found->second].temp;
}

void StagedFiles::Drop(const std::string& target) {
    const auto found = entryOf_.find(target);
    if (found == entryOf_.end()) return;
    Entry& entry = entries_[found->second];
    RemoveQuietly(entry.temp);
    entry.temp.clear();
}

std::string StagedFiles::ClaimName(const std::string& directory, const std::string& fileName,
                                   const std::string& sourceKey, const std::function<bool(const std::string&)>& usable) {
    const size_t dot = fileName.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
    const std::string extension = dot == std::string::npos || dot == 0 ? std::string() : fileName.substr(dot);
    const auto candidate = [&](int n) { return n == 1 ? fileName : stem + "_" + std::to_string(n) + extension; };
    const std::string request = directory + '\0' + Folded(fileName);
    const std::string sourceRequest = request + '\0' + sourceKey;
    if (const auto had = claimedNumber_.find(sourceRequest); had != claimedNumber_.end()) return candidate(had->second);

    // A source that has names in the directory may own one of the candidates; any other starts
    // past the candidates claimed already.
    const bool owns = !claimingSources_.insert(directory + '\0' + sourceKey).second;
    int& firstFree = firstFree_.try_emplace(request, 1).first->second;
    static const std::string kTurnedDown(1, '\1');
    for (int n = owns ? 1 : firstFree;; ++n) {
        const std::string name = candidate(n);
        const auto [claim, added] = claims_.try_emplace(directory + '\0' + Folded(name), sourceKey);
        if (added && usable && !usable(name)) claim->second = kTurnedDown;
        if (n == firstFree) ++firstFree;
        if (claim->second != sourceKey) continue;
        claimedNumber_.emplace(sourceRequest, n);
        return name;
    }
}

std::vector<std::string> StagedFiles::Targets() const {
    std::vector<std::string> targets;
    for (const Entry& entry : entries_)
        if (!entry.temp.empty()) targets.push_back(entry.target);
    return targets;
}

void StagedFiles::Discard() {
    WaitForSyncs(nullptr, nullptr);
    for (Entry& entry : entries_) {
        RemoveQuietly(entry.temp);
        entry.temp.clear();
    }
    entries_.clear();
    entryOf_.clear();
    syncedUpTo_ = 0;
}

namespace {

// Writes a temporary's bytes to the disk; errno on failure, else 0.
int SyncFile(const std::string& path) { return platform::SyncFile(path); }

}  // namespace

// Temporaries being written to the disk, so that a crash never leaves a truncated file under
// a user's name. Several files are synced at once, on helper threads that take the next file
// from a shared counter, so that the file system commits them together instead of one after
// another. The helpers allocate nothing: a thread's first allocation would map an allocator
// arena of its own (128 MiB of address space), which costs more than the thread.
struct StagedFiles::SyncBatch {
    static constexpr size_t kMaxHelpers = 8;

    std::vector<size_t> entries;     // the entries_ synced
    std::vector<std::string> paths;  // their temporaries
    std::vector<int> errors;         // errno per file, 0 once it is on the disk
    std::atomic<size_t> next{0};
    std::vector<pthread_t> helpers;

    void Work() {
        for (size_t i = next++; i < paths.size(); i = next++) errors[i] = SyncFile(paths[i]);
    }
    // Starts up to `count` helpers; a helper that cannot be started leaves its share to Work.
    void StartHelpers(size_t count) {
        helpers.reserve(std::min(count, kMaxHelpers));
        while (helpers.size() < std::min(count, kMaxHelpers)) {
            pthread_t thread;
            const auto run = [](void* batch) -> void* {
                static_cast<SyncBatch*>(batch)->Work();
                return nullptr;
            };
            if (pthread_create(&thread, nullptr, run, this) != 0) break;
            helpers.push_back(thread);
        }
    }
    void Join() {
        for (pthread_t thread : helpers) pthread_join(thread, nullptr);
        helpers.clear();
    }
};

void StagedFiles::SyncFrom(bool keepLast) {
    auto batch = std::make_unique<SyncBatch>();
    for (size_t i = syncedUpTo_; i < entries_.size(); ++i) {
        if (entries_[i].temp.empty()) continue;
        batch->entries.push_back(i);
        batch->paths.push_back(entries_[i].temp);
    }
    syncedUpTo_ = entries_.size();
    if (batch->paths.empty()) return;
    batch->errors.assign(batch->paths.size(), 0);
    batch->StartHelpers(batch->paths.size() - (keepLast ? 1 : 0));
    syncs_.push_back(std::move(batch));
}

bool StagedFiles::WaitForSyncs(size_t* failedEntry, int* error) {
    // The caller takes what no helper has taken, the latest batch first: its files were
    // staged last and nobody has started them.
    for (auto it = syncs_.rbegin(); it != syncs_.rend(); ++it) (*it)->Work();
    size_t first = entries_.size();
    for (const std::unique_ptr<SyncBatch>& batch : syncs_) {
        batch->Join();
        for (size_t i = 0; i < batch->paths.size(); ++i) {
            const size_t entry = batch->entries[i];
            // A file dropped since its sync started does not count.
            if (batch->errors[i] == 0 || entry >= first || entries_[entry].temp.empty()) continue;
            first = entry;
            if (error) *error = batch->errors[i];
        }
    }
    syncs_.clear();
    if (failedEntry) *failedEntry = first;
    return first == entries_.size();
}

StagedFiles::StagedFiles() = default;
StagedFiles::~StagedFiles() { Discard(); }

void StagedFiles::StartSync() { SyncFrom(false); }

bool StagedFiles::Commit(std::string* failedFile, std::string* cause) {
    auto fail = [&](const Entry& entry, const std::string& why) {
        if (failedFile) *failedFile = entry.target;
        if (cause) *cause = why;
        Discard();
        return false;
    };

    const auto P = [](const std::string& path) { return platform::PathOf(path); };
    // Everything that can be known before a file moves: a later failure then means undoing.
    std::error_code ec;
    for (const Entry& entry : entries_) {
        if (entry.temp.empty()) continue;
        std::string why;
        if (!CheckTarget(entry.resolved, &why)) return fail(entry, why);
        if (!fs::is_regular_file(fs::symlink_status(P(entry.temp), ec)))
            return fail(entry, "its temporary file disappeared");
    }
    // Every temporary's bytes on the disk before any of them takes a user's name: those not
    // started yet, the last one on this thread, then those started earlier.
    SyncFrom(true);
    size_t failed = 0;
    int error = 0;
    if (!WaitForSyncs(&failed, &error))
        return fail(entries_[failed], std::string("cannot write it to the disk: ") + std::strerror(error));

    // A target that exists is kept under a second name (a hard link, so nothing is copied)
    // until every file is in place, except the last one's: nothing can fail after it.
    struct Done {
        const Entry* entry;
        std::string backup;  // "" when the target did not exist
    };
    std::vector<Done> done;
    auto undo = [&]() {
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            std::error_code ignored;
            if (it->backup.empty())
                fs::remove(P(it->entry->resolved), ignored);
            else
                fs::rename(P(it->backup), P(it->entry->resolved), ignored);
        }
    };
    const Entry* last = nullptr;
    for (const Entry& entry : entries_)
        if (!entry.temp.empty()) last = &entry;
    for (Entry& entry : entries_) {
        if (entry.temp.empty()) continue;
        const bool exists = fs::exists(fs::symlink_status(P(entry.resolved), ec));
        if (exists && entry.existing == Existing::Keep) continue;  // appeared meanwhile: it stays
        std::string backup;
        if (exists && &entry != last) {
            backup = TemporaryBeside(P(entry.resolved));
            std::error_code linkError;
            fs::create_hard_link(P(entry.resolved), P(backup), linkError);
            if (linkError) {
                // A file system without hard links: move the old file aside instead.
                fs::rename(P(entry.resolved), P(backup), linkError);
                if (linkError) {
                    undo();
                    return fail(entry, DescribeFileError(linkError));
                }
            }
        }
        const std::error_code renameError = platform::MoveIntoPlace(entry.temp, entry.resolved);
        if (renameError) {
            if (!backup.empty()) {
                std::error_code ignored;
                if (fs::exists(fs::symlink_status(P(entry.resolved), ignored)))
                    fs::remove(P(backup), ignored);
                else
                    fs::rename(P(backup), P(entry.resolved), ignored);
            }
            undo();
            return fail(entry, DescribeFileError(renameError));
        }
        done.push_back({&entry, backup});
        entry.temp.clear();  // it is the target now
    }
    committedFiles_ = 0;
    committedBytes_ = 0;
    for (const Done& d : done) {
        RemoveQuietly(d.backup);
        std::error_code sizeError;
        const uintmax_t size = fs::file_size(P(d.entry->resolved), sizeError);
        ++committedFiles_;
        committedBytes_ += sizeError ? 0 : static_cast<uint64_t>(size);
    }
    for (Entry& entry : entries_) {
        RemoveQuietly(entry.temp);  // a kept target's unused temporary
        entry.temp.clear();
    }
    entries_.clear();
    entryOf_.clear();
    syncedUpTo_ = 0;
    return true;
}
