// A private temporary folder for the images an imported file stores inside itself.
//
// The import writes those images into the folder and points the scene's bitmaps at them; the
// exporter then copies them into the output folder like any other texture, so nothing lands
// there unless the export succeeds. The folder is removed when its owner goes away; a command
// that is interrupted by a signal removes it with RemoveUnpackFolderNow.
#pragma once

#include <memory>
#include <string>

class UnpackFolder {
public:
    // Makes a new folder "plover-textures-<process id>-XXXXXX" in the system's temporary
    // folder, after removing the folders that processes no longer running left there (a
    // process killed outright cannot remove its own). Null, with error saying why, when it
    // cannot be made.
    static std::unique_ptr<UnpackFolder> Create(std::string& error);
    // Removes the folder and everything in it.
    ~UnpackFolder();
    UnpackFolder(const UnpackFolder&) = delete;
    UnpackFolder& operator=(const UnpackFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    explicit UnpackFolder(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// Removes the most recently created folder that still exists, with everything in it. Safe to call
// from a signal handler (it only uses system calls that are); does nothing when there is none.
void RemoveUnpackFolderNow() noexcept;

// Removes from parent the folders "plover-textures-<process id>-*" of processes that are no
// longer running, when they belong to this user. Returns the number removed.
int RemoveStaleUnpackFolders(const std::string& parent);
