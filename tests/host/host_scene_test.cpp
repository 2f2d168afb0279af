#include <gtest/gtest.h>

#include "host/console.h"
#include "host/host_scene.h"

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
