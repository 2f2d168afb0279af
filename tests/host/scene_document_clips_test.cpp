// The clip list a scene document offers: read, validated and written back.
#include <gtest/gtest.h>

#include <string>

#include "host/scene_document.h"

namespace {
std::unique_ptr<HostScene> Load(const std::string& clips, std::string& error) {
    return LoadSceneDocumentFromString(R"({"plover_scene": 1, "clips": )" + clips + "}", "s.json", error);
}
}  // namespace

TEST(SceneDocumentClips, ReadWrittenBackAndAbsentMeansNone) {
    std::string error;
    auto scene = Load(R"([{"name": "Walk", "start": 0, "end": 30}, {"name": "Run", "start": -5, "end": 60}])", error);
    ASSERT_TRUE(scene) << error;
    ASSERT_TRUE(scene->clips());
    EXPECT_EQ(*scene->clips(), (std::vector<HostClip>{{"Walk", 0, 30}, {"Run", -5, 60}}));
    auto again = LoadSceneDocumentFromString(SaveSceneDocument(*scene), "again.json", error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->clips(), scene->clips());

    auto empty = Load("[]", error);
    ASSERT_TRUE(empty && empty->clips());
    EXPECT_TRUE(empty->clips()->empty());  // offers "no clips"

    auto none = LoadSceneDocumentFromString(R"({"plover_scene": 1})", "n.json", error);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->clips());
    EXPECT_EQ(SaveSceneDocument(*none).find("\"clips\""), std::string::npos);
}

TEST(SceneDocumentClips, InvalidClipsNameThePlace) {
    std::string error;
    EXPECT_FALSE(Load(R"({"name": "Walk"})", error));
    EXPECT_EQ(error, "s.json: clips: expected an array of clips, found an object");
    EXPECT_FALSE(Load(R"([{"name": "", "start": 0, "end": 1}])", error));
    EXPECT_EQ(error, "s.json: clips[0].name: a clip needs a name");
    EXPECT_FALSE(Load(R"([{"name": "A", "start": 0}])", error));
    EXPECT_EQ(error, "s.json: clips[0].end: missing field");
    EXPECT_FALSE(Load(R"([{"name": "A", "start": 0, "end": 1.5}])", error));
    EXPECT_NE(error.find("s.json: clips[0].end: "), std::string::npos) << error;
    EXPECT_FALSE(Load(R"([{"name": "A", "start": 0, "end": 1, "loop": true}])", error));
    EXPECT_EQ(error, "s.json: clips[0].loop: unknown field");
}
