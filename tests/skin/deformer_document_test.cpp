// The deformers in the scene document: a round trip keeps them, bones resolve by name wherever
// they are in the document, and bad references are rejected with their JSON path.
#include <gtest/gtest.h>

#include "host/document/scene_document.h"
#include "skin/skin_fixture.h"

using namespace skin_test;

namespace {

std::string Document(const std::string& stack, const std::string& extraNodes = "") {
    return R"({"plover_scene": 1, "nodes": [
      {"name": "Body", "object": {"type": "mesh", "mesh": {"vertices": [0,0,0, 1,0,0, 0,1,0], "faces": [0,1,2]}},
       "stack": [[)" + stack + R"(]]},
      {"name": "Upper", "object": {"type": "bone"}, "children": [{"name": "Lower", "transform": {"translation": [0, 0, 4]}}]})" +
           extraNodes + "]}";
}

HostModifier* FirstModifier(HostScene& scene) {
    HostNode& body = *scene.root().children()[0];
    auto* level = dynamic_cast<HostDerivedObject*>(body.object());
    return level && !level->modifiers().empty() ? level->modifiers()[0].get() : nullptr;
}

}  // namespace

TEST(DeformerDocument, RoundTripAndBoneResolution) {
    const std::string skin = R"({"type": "skin", "initTransform": [1,0,0, 0,1,0, 0,0,1, 0,0,2],
        "bones": [{"node": "Lower", "initTransform": [1,0,0, 0,1,0, 0,0,1, 0,0,3]}, {"node": "Upper"}, {"node": null}],
        "points": [[0, 1], [0, 0.25, 1, 0.75, -1, 0.5], []]})";
    const std::string link = R"({"type": "linkDeformer", "enabled": false, "bones": [{"node": "Upper"}, {"node": "Lower"}],
        "vertices": [{"bone": 1}, {"bones": [0, 1], "weights": [0.5, 0]}, null, {"type": 3}]})";
    for (const std::string& stack : {skin, link}) {
        std::string error;
        std::unique_ptr<HostScene> first = LoadSceneDocumentFromString(Document(stack), "d.json", error);
        ASSERT_NE(first, nullptr) << error;
        const std::string saved = SaveSceneDocument(*first);
        std::unique_ptr<HostScene> second = LoadSceneDocumentFromString(saved, "saved.json", error);
        ASSERT_NE(second, nullptr) << error << "\n" << saved;
        EXPECT_EQ(SaveSceneDocument(*second), saved);

        // Bones resolve by name wherever the node is in the document.
        HostNode* upper = second->root().children()[1].get();
        HostNode* lower = upper->children()[0].get();
        HostModifier* modifier = FirstModifier(*second);
        ASSERT_NE(modifier, nullptr);
        if (auto* s = dynamic_cast<HostSkinDeformer*>(modifier)) {
            EXPECT_EQ(s->GetBone(0), lower);
            EXPECT_EQ(s->GetBone(1), upper);
            EXPECT_EQ(s->GetBone(2), nullptr);
        } else {
            auto* l = dynamic_cast<HostLinkDeformer*>(modifier);
            ASSERT_NE(l, nullptr);
            EXPECT_FALSE(l->vertices[2].present);
            EXPECT_EQ(l->vertices[3].type, 3);
        }
    }
}

// The problems only deformers have; the other kinds are in the scene document tests.
TEST(DeformerDocument, RejectsBadReferencesWithTheirPath) {
    const std::pair<std::string, std::string> cases[] = {
        {Document(R"({"type": "skin", "bones": [{"node": "Nobody"}]})"),
         "s.json: nodes[0].stack[0][0].bones[0].node: unknown node \"Nobody\""},
        {Document(R"({"type": "skin", "bones": [{"node": "Twin"}]})", R"(, {"name": "Twin"}, {"name": "Twin"})"),
         "s.json: nodes[0].stack[0][0].bones[0].node: more than one node is named \"Twin\""},
        {Document(R"({"type": "skin", "points": [[0]]})"),
         "s.json: nodes[0].stack[0][0].points[0]: expected pairs of bone index and weight"},
        {Document(R"({"type": "linkDeformer", "bones": [{"node": "Upper"}], "vertices": [{"bones": [0], "weights": []}]})"),
         "s.json: nodes[0].stack[0][0].vertices[0].weights: expected one weight per bone (1), found 0"},
        {Document(R"({"type": "linkDeformer", "vertices": [{"type": 5}]})"),
         "s.json: nodes[0].stack[0][0].vertices[0].type: give a rigid vertex as {\"bone\": i} and a blended one as "
         "{\"bones\": [...], \"weights\": [...]}"},
    };
    for (const auto& [doc, message] : cases) {
        std::string error;
        EXPECT_EQ(LoadSceneDocumentFromString(doc, "s.json", error), nullptr) << doc;
        EXPECT_EQ(error, message);
    }
}
