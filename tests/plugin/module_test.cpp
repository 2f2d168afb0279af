// The plug-in's identity: entry points, descriptor and exporter texts, which the host and the
// saved scenes rely on.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "plugin/entry_points.h"
#include "plugin/plover_exp.h"

TEST(Module, EntryPointsDescriptorAndExporterTexts) {
    EXPECT_STREQ(LibDescription(), "Veyda DirectX Exporter");
    EXPECT_EQ(LibNumberClasses(), 1);
    EXPECT_EQ(LibVersion(), 0x36B02600ul);
    ASSERT_NE(LibClassDesc(0), nullptr);
    EXPECT_EQ(LibClassDesc(1), nullptr);
    EXPECT_EQ(LibClassDesc(-1), nullptr);
    EXPECT_EQ(LibClassDesc(0), LibClassDesc(0));  // one process-wide descriptor

    ClassDesc& desc = *LibClassDesc(0);
    EXPECT_EQ(desc.IsPublic(), 1);
    EXPECT_STREQ(desc.ClassName(), "plover3dsmax");
    EXPECT_STREQ(desc.InternalName(), "plover3dsmax");
    EXPECT_EQ(desc.SuperClassID(), 0x0A20u);
    EXPECT_EQ(desc.ClassID(), Class_ID(0x5BA1356F, 0x7FA61CCC));
    EXPECT_STREQ(desc.Category(), "File Export");
    EXPECT_EQ(desc.HInstance(), ModuleInstanceHandle());

    std::unique_ptr<SceneExport> exp(static_cast<SceneExport*>(desc.Create(false)));
    ASSERT_TRUE(exp);
    EXPECT_EQ(exp->ExtCount(), 1);
    EXPECT_STREQ(exp->Ext(0), "X");
    EXPECT_STREQ(exp->Ext(1), "");
    EXPECT_STREQ(exp->Ext(-1), "");
    EXPECT_STREQ(exp->LongDesc(), "Veyda DirectX Exporter v2.2.8 for 3ds Max");
    EXPECT_STREQ(exp->ShortDesc(), "Veyda DirectX Exporter v2.2.8");
    EXPECT_STREQ(exp->AuthorName(), "Veyda");
    EXPECT_STRNE(exp->CopyrightMessage(), "");
    EXPECT_STREQ(exp->OtherMessage1(), "");
    EXPECT_STREQ(exp->OtherMessage2(), "");
    EXPECT_EQ(exp->Version(), 100u);
    EXPECT_EQ(exp->SupportsOptions(0, 0), 1);
    EXPECT_EQ(exp->SupportsOptions(3, kSceneExportSelected), 1);
    exp->ShowAbout(nullptr);  // does nothing
    EXPECT_EQ(exp->DoExport("nothing.x", nullptr, nullptr, 1, 0), 1);  // no host: still 1
}
