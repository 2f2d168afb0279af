#include <gtest/gtest.h>

#include "common/math_expect.h"
#include "host/console.h"
#include "host/scene_builder.h"

TEST(HostScene, MessagesAreRecordedAndForwarded) {
    HostScene scene;
    EXPECT_EQ(scene.MessageBox(nullptr, "No node!", "", kMbOk), kIdOk);  // no sink: OK
    std::vector<std::string> shown;
    scene.SetMessageSink([&](const HostMessage& m) {
        shown.push_back(FormatMessageBox(m));
        return 7;
    });
    EXPECT_EQ(scene.MessageBox(nullptr, "Hidden nodes", "Warning", kMbIconWarning), 7);
    ASSERT_EQ(scene.messages().size(), 2u);
    EXPECT_EQ(scene.messages()[0].text, "No node!");
    EXPECT_EQ(scene.messages()[0].caption, "");
    EXPECT_EQ(scene.messages()[1].caption, "Warning");
    EXPECT_EQ(scene.messages()[1].style, kMbIconWarning);
    EXPECT_EQ(shown, std::vector<std::string>{"Warning: Hidden nodes"});
}

TEST(HostNode, WorldAndObjectTransformsCompose) {
    SceneBuilder b;
    HostNode& parent = b.Node("Parent").Transform(RotateZMatrix(1.5707964f) * TransMatrix({10, 0, 0}));
    HostNode& child = b.Node("Child", &parent).Translate({1, 0, 0});
    child.ObjectOffset(ScaleMatrix({2, 2, 2}) * TransMatrix({0, 0, 5}));

    // The child's local (1,0,0) is rotated by the parent onto +Y, then moved by (10,0,0).
    for (TimeValue t : {0, 160, -4800}) {
        ExpectMatrix3Near(child.GetNodeTM(t), RotateZMatrix(1.5707964f) * TransMatrix({10, 1, 0}));
        ExpectPoint3Near(Point3(1, 0, 0) * child.GetObjectTM(t), {10, 3, 5});
    }
    // The root has the identity; a top-level node's world transform is its local one.
    ExpectMatrix3Near(b.root().GetNodeTM(0), Matrix3());
    ExpectMatrix3Near(parent.GetNodeTM(0), parent.localTransform());
}
