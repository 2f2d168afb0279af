// The staged-file set: nothing is in place before the commit, everything after it, and a
// commit that fails part way leaves every target as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "common/test_files.h"
#include "common/tmpfs_mount.h"
#include "core/atomic_write.h"
#include "core/staged_files.h"

namespace fs = std::filesystem;

namespace {

class StagedFilesTest : public ::testing::Test {
protected:
    std::string At(const std::string& name) const { return (dir / name).string(); }
    static void Put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    // The folder's entries as "name=content" (directories as "name/"), sorted.
    std::string Listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            names.insert(entry.is_directory() ? name + "/" : name + "=" + ReadText(entry.path().string()));
        }
        std::string out;
        for (const std::string& name : names) out += name + " ";
        return out;
    }

    ScratchDir scratch;
    const fs::path& dir = scratch.path();
};

}  // namespace

TEST_F(StagedFilesTest, CommitPutsEveryFileInPlaceAndDiscardLeavesTheFolderAlone) {
    Put(At("old.x"), "old");
    {
        StagedFiles staged;
        Put(staged.Stage(At("a.bmp"), StagedFiles::Existing::Replace), "a");
        staged.StartSync();  // still nothing in place, and the discard waits for it
        Put(staged.Stage(At("old.x"), StagedFiles::Existing::Replace), "new");
        EXPECT_EQ(staged.Stage(At("a.bmp"), StagedFiles::Existing::Replace), "");  // once per export
        EXPECT_FALSE(fs::exists(At("a.bmp")));  // only the temporary so far
        EXPECT_EQ(ReadText(At("old.x")), "old");
        const std::string temp = staged.TemporaryOf(At("a.bmp"));
        EXPECT_TRUE(IsStagedTemporaryName(fs::path(temp).filename().string()));
        EXPECT_EQ(fs::path(temp).extension(), ".bmp");  // writers that go by the extension see it
    }  // destroyed without a commit
    EXPECT_EQ(Listing(), "old.x=old ");

    StagedFiles staged;
    Put(staged.Stage(At("a.bmp"), StagedFiles::Existing::Replace), "a");
    Put(staged.Stage(At("dropped.png"), StagedFiles::Existing::Replace), "half");
    staged.StartSync();
    staged.Drop(At("dropped.png"));  // its sync may fail: it no longer counts
    Put(staged.Stage(At("old.x"), StagedFiles::Existing::Replace), "new");
    std::string failed, cause;
    ASSERT_TRUE(staged.Commit(&failed, &cause)) << failed << ": " << cause;
    EXPECT_EQ(Listing(), "a.bmp=a old.x=new ");
    EXPECT_EQ(staged.committedFiles(), 2u);
    EXPECT_EQ(staged.committedBytes(), 4u);
}

TEST_F(StagedFilesTest, KeepLeavesExistingFilesAndDropForgetsAFile) {
    Put(At("kept.png"), "user's");
    StagedFiles staged;
    EXPECT_EQ(staged.Stage(At("kept.png"), StagedFiles::Existing::Keep), "");
    Put(staged.Stage(At("late.png"), StagedFiles::Existing::Keep), "ours");
    Put(At("late.png"), "appeared meanwhile");
    Put(staged.Stage(At("dropped.png"), StagedFiles::Existing::Replace), "half");
    staged.Drop(At("dropped.png"));
    std::string failed, cause;
    ASSERT_TRUE(staged.Commit(&failed, &cause));
    EXPECT_EQ(Listing(), "kept.png=user's late.png=appeared meanwhile ");
}

TEST_F(StagedFilesTest, AFailedCommitPutsBackWhatItAlreadyMoved) {
    Put(At("a.png"), "old a");
    StagedFiles staged;
    Put(staged.Stage(At("a.png"), StagedFiles::Existing::Replace), "new a");
    Put(staged.Stage(At("b.png"), StagedFiles::Existing::Replace), "new b");
    Put(staged.Stage(At("c.x"), StagedFiles::Existing::Replace), "new c");
    // c.x becomes a folder after staging: its rename fails and a.png, b.png are undone.
    fs::create_directory(At("c.x"));
    std::string failed, cause;
    EXPECT_FALSE(staged.Commit(&failed, &cause));
    EXPECT_EQ(failed, At("c.x"));
    EXPECT_EQ(cause, "is a directory");
    EXPECT_EQ(Listing(), "a.png=old a c.x/ ");

}

TEST_F(StagedFilesTest, ARenameThatFailsUndoesTheFilesAlreadyInPlace) {
    TmpfsMount mount(dir / "small", 1 << 20);
    if (!mount.mounted()) GTEST_SKIP() << mount.reason();
    Put(At("a.png"), "old a");
    StagedFiles staged;
    Put(staged.Stage(At("a.png"), StagedFiles::Existing::Replace), "new a");
    Put(staged.Stage(At("b.png"), StagedFiles::Existing::Replace), "new b");
    Put(staged.Stage(At("small/c.x"), StagedFiles::Existing::Replace), "new c");
    // Every check passes, but the last rename meets a file system that became read-only.
    ASSERT_TRUE(mount.SetReadOnly(true));
    std::string failed, cause;
    EXPECT_FALSE(staged.Commit(&failed, &cause));
    EXPECT_EQ(failed, At("small/c.x"));
    EXPECT_EQ(cause, "the file system is read-only");
    EXPECT_EQ(Listing(), "a.png=old a small/ ");
    // Its temporary could not be removed from the read-only file system; the next export does.
    mount.SetReadOnly(false);
    RemoveStaleTemporaries((dir / "small").string());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "small"), fs::directory_iterator()), 0);
}

TEST_F(StagedFilesTest, SymbolicLinksStayLinksAndTheirTargetIsReplaced) {
    fs::create_directory(dir / "real");
    Put(At("real/scene.x"), "old");
    fs::create_symlink("real/scene.x", dir / "link.x");
    StagedFiles staged;
    const std::string temp = staged.Stage(At("link.x"), StagedFiles::Existing::Replace);
    EXPECT_EQ(fs::path(temp).parent_path(), dir / "real");  // beside the file replaced
    Put(temp, "new");
    std::string failed, cause;
    ASSERT_TRUE(staged.Commit(&failed, &cause));
    EXPECT_TRUE(fs::is_symlink(dir / "link.x"));
    EXPECT_EQ(ReadText(At("real/scene.x")), "new");
}

TEST_F(StagedFilesTest, ClaimedNamesAreDistinctPerSource) {
    StagedFiles staged;
    const std::string d = dir.string() + "/";
    EXPECT_EQ(staged.ClaimName(d, "Noise.bmp", "map 1"), "Noise.bmp");
    EXPECT_EQ(staged.ClaimName(d, "Noise.bmp", "map 1"), "Noise.bmp");  // the same source again
    EXPECT_EQ(staged.ClaimName(d, "noise.BMP", "map 2"), "noise_2.BMP");  // letter case does not count
    EXPECT_EQ(staged.ClaimName(d, "Noise.bmp", "map 3"), "Noise_3.bmp");
    EXPECT_EQ(staged.ClaimName(d, "Noise.bmp", "map 2"), "Noise_2.bmp");
    EXPECT_EQ(staged.ClaimName(d, "README", "a"), "README");
    EXPECT_EQ(staged.ClaimName(d, "README", "b"), "README_2");
    EXPECT_EQ(staged.ClaimName("/elsewhere/", "Noise.bmp", "map 9"), "Noise.bmp");
    // A name turned down is kept from every source.
    const auto usable = [](const std::string& name) { return name != "Taken.png"; };
    EXPECT_EQ(staged.ClaimName(d, "Taken.png", "x", usable), "Taken_2.png");
    EXPECT_EQ(staged.ClaimName(d, "Taken.png", "x", usable), "Taken_2.png");
    EXPECT_EQ(staged.ClaimName(d, "taken.png", "y"), "taken_3.png");
}

TEST_F(StagedFilesTest, StaleTemporariesOfEndedProcessesAreRemoved) {
    // A process id that is not running: a child that has ended and been waited for.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    const std::string dead = ".plover-" + std::to_string(child) + "-3.";
    Put(At(dead + "scene.x"), "left by a killed export");
    Put(At(dead + "scene.x.body-12-1"), "its spill file");
    Put(At(TemporaryPrefix() + "0.wood.png"), "ours, from an earlier export");
    Put(At(".plover-1-0.held.x"), "pid 1 is running");
    Put(At(".plover-notes.txt"), "not ours");
    Put(At("scene.x"), "the user's");
    EXPECT_EQ(RemoveStaleTemporaries(dir.string()), 3);
    EXPECT_EQ(Listing(), ".plover-1-0.held.x=pid 1 is running .plover-notes.txt=not ours scene.x=the user's ");
    EXPECT_EQ(RemoveStaleTemporaries((dir / "missing").string()), 0);

    // The same for the temporaries of atomic writes (a killed "config set"), beside their target.
    Put(At("plover_max_config.ini"), "[Option]");
    Put(At("plover_max_config.ini.tmp" + std::to_string(child) + "_0"), "left by a killed write");
    Put(At("plover_max_config.ini.tmp1_0"), "pid 1 is running");
    Put(At("plover_max_config.ini.tmpnotes"), "not ours");
    EXPECT_EQ(RemoveStaleTemporariesOf(At("plover_max_config.ini")), 1);
    EXPECT_FALSE(fs::exists(At("plover_max_config.ini.tmp" + std::to_string(child) + "_0")));
    EXPECT_TRUE(fs::exists(At("plover_max_config.ini.tmp1_0")));
    EXPECT_TRUE(fs::exists(At("plover_max_config.ini.tmpnotes")));
}

TEST_F(StagedFilesTest, AFolderWithoutWritePermissionIsRefusedBeforeAnythingIsWritten) {
    // Root may write anywhere: the check runs in a child that has become an ordinary user. The
    // folders are made in the system's temporary folder, which that user can reach wherever the
    // checkout lies (a checkout in a private folder is closed to it).
    const fs::path base = fs::temp_directory_path() / ("plover-permission-test-" + std::to_string(getpid()));
    fs::remove_all(base);
    fs::create_directory(base);
    fs::create_directory(base / "closed");
    fs::create_directory(base / "open");
    fs::permissions(base, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(base / "closed", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
    fs::permissions(base / "open", fs::perms::all);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
        if (access((base / "open").c_str(), W_OK | X_OK) != 0) _exit(77);  // the folder above is closed too
        std::string cause;
        if (StagedFiles::CanCreateBeside((base / "closed" / "scene.x").string(), &cause) || cause != "permission denied")
            _exit(1);
        _exit(StagedFiles::CanCreateBeside((base / "open" / "scene.x").string(), &cause) ? 0 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    fs::remove_all(base);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "the system's temporary folder is closed to other users";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
