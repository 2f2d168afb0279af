// The files of one export, written under temporary names beside their targets and put in place
// together once the whole export has succeeded.
//
// Every stage that makes a file asks for a temporary path with Stage() and writes the file's
// bytes there. Commit() first has every temporary's bytes written to the disk (so that a crash
// never leaves a truncated file under a target's name), then renames each onto its target, in
// staging order (the X file is staged last, so it appears last). When a rename fails, the files
// already put in place are put back as they were, so the folders hold either every new file or
// none. A set destroyed without a successful Commit() removes its temporaries: a failed or
// cancelled export leaves the output folder exactly as it was.
//
// Temporary names begin with ".plover-<process id>-" and carry the target's name at their end,
// so a writer that chooses the format by the extension still sees it, and files left behind by
// a killed export can be recognised and removed by the next one (RemoveStaleTemporaries).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class StagedFiles {
public:
    // What Commit does when the target already exists.
    enum class Existing {
        Replace,  // the new file replaces it
        Keep,     // the existing file stays and the staged one is dropped
    };

    StagedFiles();
    ~StagedFiles();
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // The temporary path to write target's bytes to. "" when there is nothing to write: target
    // names no file, or it exists and existing is Keep, or it is already staged (one export
    // makes each file once). A symbolic link as target stays a link: the file it leads to is
    // replaced.
    std::string Stage(const std::string& target, Existing existing);
    // The temporary of target, or "" when it is not staged.
    std::string TemporaryOf(const std::string& target) const;
    // Forgets target and removes its temporary (its bytes could not be made).
    void Drop(const std::string& target);

    // Whether a regular file can be put at target: false, with *cause in plain words, when its
    // folder does not exist or is not a folder, or target is a folder or another kind of file
    // that is not a regular file (a named pipe, a device).
    static bool CheckTarget(const std::string& target, std::string* cause);
    // Whether a file can be created beside target: false, with *cause, for a folder on a
    // read-only file system or one without permission. Asked of the system where it can
    // tell, elsewhere tried by creating and removing a temporary.
    static bool CanCreateBeside(const std::string& target, std::string* cause);

    // A file name for source in directory: fileName itself unless another source of this
    // export already has it, then the name with "_2", "_3", ... before its extension. Names are
    // compared without letter case, as the target's file system may do. sourceKey identifies
    // the file's content (a source path, a map's identity, the generated text). A name that
    // `usable` turns down (when given) is kept from every source of the export. Each claim costs
    // about the same however many names were claimed before.
    std::string ClaimName(const std::string& directory, const std::string& fileName, const std::string& sourceKey,
                          const std::function<bool(const std::string& name)>& usable = {});

    // Starts writing the bytes of the files staged so far to the disk on other threads, while
    // the export goes on (their bytes must be complete): the disk's latency for them overlaps
    // the rest of the export. Commit waits for it and syncs only the files staged later.
    void StartSync();

    // Puts every staged file in place. False, with *failedFile (the target as staged) and
    // *cause in plain words, when a file could not be put in place; every target is then as it
    // was and every temporary removed.
    bool Commit(std::string* failedFile, std::string* cause);
    // Removes every temporary; nothing is put in place.
    void Discard();

    // Targets in staging order.
    std::vector<std::string> Targets() const;
    // What the last successful Commit put in place: the number of files and their bytes.
    uint32_t committedFiles() const { return committedFiles_; }
    uint64_t committedBytes() const { return committedBytes_; }

private:
    struct Entry {
        std::string target;    // as given to Stage
        std::string temp;      // "" once dropped, or for a kept existing file
        std::string resolved;  // target with symbolic links followed: the file replaced
        Existing existing = Existing::Replace;
    };
    struct SyncBatch;  // temporaries being written to the disk by helper threads

    // Syncs the temporaries of entries_[syncedUpTo_...]: all but the last on helper threads
    // when keepLast, else all of them.
    void SyncFrom(bool keepLast);
    // Waits for every batch; the first failure by staging order, as (entry index, errno).
    bool WaitForSyncs(size_t* failedEntry, int* error);

    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> entryOf_;  // target -> its entry
    // Claims by directory + '\0' + the file name in lower case: the source key that has it
    // (a name turned down has a key no source has).
    std::unordered_map<std::string, std::string> claims_;
    // By directory + '\0' + requested name in lower case: the first number whose candidate
    // ("name", "name_2", ...) may be free; every candidate below it is claimed.
    std::unordered_map<std::string, int> firstFree_;
    // By directory + '\0' + requested name in lower case + '\0' + source key: the number of
    // the candidate the source has.
    std::unordered_map<std::string, int> claimedNumber_;
    std::unordered_set<std::string> claimingSources_;  // directory + '\0' + source key
    std::vector<std::unique_ptr<SyncBatch>> syncs_;
    size_t syncedUpTo_ = 0;  // entries before this one were handed to a batch
    uint32_t committedFiles_ = 0;
    uint64_t committedBytes_ = 0;
};

// The prefix of every temporary name of this process: ".plover-<process id>-".
std::string TemporaryPrefix();
// True when fileName (no directory) is the name of a temporary made by StagedFiles, or of a
// file derived from one by appending to it.
bool IsStagedTemporaryName(std::string_view fileName);
// Removes from directory the temporaries of exports that are no longer running: those of
// processes that have ended and those of this process (one export runs at a time per process).
// Returns the number of files removed.
int RemoveStaleTemporaries(const std::string& directory);

// The cause of a file system error in plain words ("permission denied", "no space left on the
// device", "is a directory", "the folder does not exist", ...).
std::string DescribeFileError(const std::error_code& error);
std::string DescribeFileError(int errnoValue);
