// Message boxes: answered OK without a sink, else forwarded with the caption before the text.
// (That they are recorded shows in every test that reads the scene's messages.)
#include <gtest/gtest.h>

#include "host/console.h"
#include "host/host_scene.h"

TEST(HostScene, MessagesAreForwardedWithTheirCaption) {
    HostScene scene;
    EXPECT_EQ(scene.MessageBox(nullptr, "No node!", "", kMbOk), kIdOk);
    std::vector<std::string> shown;
    scene.SetMessageSink([&](const HostMessage& m) {
        shown.push_back(FormatMessageBox(m));
        return 7;
    });
    EXPECT_EQ(scene.MessageBox(nullptr, "Hidden nodes", "Warning", kMbIconWarning), 7);
    EXPECT_EQ(scene.MessageBox(nullptr, "Plain", "", kMbOk), 7);
    EXPECT_EQ(shown, (std::vector<std::string>{"Warning: Hidden nodes", "Plain"}));
}
