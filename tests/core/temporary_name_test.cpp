// Temporary names: what the makers give, and what the stale-file cleanups read back from them.
#include <gtest/gtest.h>

#include <string>

#include "core/atomic_write.h"
#include "core/platform.h"
#include "core/staged_files.h"
#include "core/temporary_name.h"

TEST(TemporaryName, NamesCarryTheProcessIdThatCleanupsReadBack) {
    const std::string pid = std::to_string(platform::ProcessId());
    const std::string a = TemporaryName("x.tmp", '_'), b = TemporaryName("x.tmp", '_');
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind("x.tmp" + pid + "_", 0), 0u) << a;
    EXPECT_EQ(TemporaryNameProcess(a, "x.tmp", '_'), platform::ProcessId());
    EXPECT_EQ(TemporaryNameProcess("plover-textures-4711-k3x9qa", "plover-textures-", '-'), 4711);

    // The formats files left on disk by earlier exports have, which the cleanups recognise.
    EXPECT_EQ(TemporaryNameBeside("dir/a.ini").rfind("dir/a.ini.tmp" + pid + "_", 0), 0u);
    EXPECT_EQ(TemporaryPrefix(), ".plover-" + pid + "-");
    EXPECT_TRUE(IsStagedTemporaryName(TemporaryPrefix() + "12.wood.png"));

    // Names that only look alike are nobody's.
    for (const char* name : {"x.tmp", "x.tmp_1", "x.tmp-1_2", "x.tmp+1_2", "x.tmp12", "x.tmp12-3", "y.tmp12_3",
                             "x.tmp0_3", "x.tmp99999999999999999999_1"})
        EXPECT_EQ(TemporaryNameProcess(name, "x.tmp", '_'), 0) << name;
    for (const char* name : {".plover-12-x.png", ".plover-12-3", ".plover-12-.png", ".plover--3.png", ".plover-0-3.png"})
        EXPECT_FALSE(IsStagedTemporaryName(name)) << name;
}
