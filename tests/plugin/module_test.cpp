// The plug-in's identity, pinned because others depend on it: a host finds the exporter by its
// entry points and version, saved scenes and scripts name it by its class ID and internal name,
// and the extension decides which files it is offered. The descriptive texts are not pinned.
#include <gtest/gtest.h>

#include <memory>

#include "plugin/entry_points.h"
#include "plugin/plover_exp.h"

TEST(Module, IdentityTheHostAndSavedScenesRelyOn) {
    EXPECT_EQ(LibNumberClasses(), 1);
    EXPECT_EQ(LibVersion(), 0x36B02600ul);  // the SDK version the host checks before loading
    ASSERT_NE(LibClassDesc(0), nullptr);
    EXPECT_EQ(LibClassDesc(1), nullptr);
    EXPECT_EQ(LibClassDesc(-1), nullptr);
    EXPECT_EQ(LibClassDesc(0), LibClassDesc(0));  // one process-wide descriptor

    ClassDesc& desc = *LibClassDesc(0);
    EXPECT_STREQ(desc.InternalName(), "plover3dsmax");
    EXPECT_EQ(desc.SuperClassID(), 0x0A20u);
    EXPECT_EQ(desc.ClassID(), Class_ID(0x5BA1356F, 0x7FA61CCC));

    std::unique_ptr<SceneExport> exp(static_cast<SceneExport*>(desc.Create(false)));
    ASSERT_TRUE(exp);
    EXPECT_EQ(exp->ExtCount(), 1);
    EXPECT_STREQ(exp->Ext(0), "X");
    EXPECT_STREQ(exp->Ext(1), "");  // out of range: empty, never a bad pointer
    EXPECT_STREQ(exp->Ext(-1), "");
    EXPECT_EQ(exp->SupportsOptions(3, kSceneExportSelected), 1);
    EXPECT_EQ(exp->DoExport("nothing.x", nullptr, nullptr, 1, 0), 1);  // no host: still 1, no crash
}
