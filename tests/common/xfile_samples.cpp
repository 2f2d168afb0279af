#include "xfile_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "common/test_files.h"
#include "tools/plover/inspect_command.h"
#include "xformat/xpayload.h"
#include "xformat/xtemplates.h"

namespace xfile_test {

using namespace xfile;

namespace {

#define XTRY(expr)                          \
    do {                                    \
        XResult r_ = (expr);                \
        if (!r_.ok()) return r_;            \
    } while (0)


XPayload Matrix(std::initializer_list<float> m) {
    XPayload p;
    for (float v : m) p.Float(v);
    return p;
}

const std::initializer_list<float> kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

XPayload Triangle() {
    XPayload p;
    p.Dword(3).Floats(std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}).Dword(1).Dwords(std::vector<uint32_t>{3, 0, 1, 2});
    return p;
}

}  // namespace

XResult WriteSampleScene(XSaveObject& save) {
    XSaveData material, effect, root, bone, mesh, other, mesh2, set, anim;  // objects open for children
    XPayload p;
    p.Floats(std::vector<float>{1, 0, 0, 1, 10, 0.5f, 0.5f, 0.5f, 0, 0, 0});
    XTRY(save.AddDataObject(kTidMaterial, "Red", p.bytes(), &material));
    p.Clear();
    p.String("red.png");
    XTRY(material.AddDataObject(kTidTextureFilename, "", p.bytes()));
    p.Clear();
    p.String("red.fx");
    XTRY(material.AddDataObject(kTidEffectInstance, "", p.bytes(), &effect));
    p.Clear();
    p.String("DiffuseMap").String("red.png");
    XTRY(effect.AddDataObject(kTidEffectParamString, "", p.bytes()));
    p.Clear();
    p.String("Technique").Dword(0);
    XTRY(effect.AddDataObject(kTidEffectParamDWord, "", p.bytes()));
    p.Clear();
    p.String("Tint").Dword(3).Floats(std::vector<float>{1, 0.5f, 0.25f});
    XTRY(effect.AddDataObject(kTidEffectParamFloats, "", p.bytes()));

    XTRY(save.AddDataObject(kTidFrame, "Root", {}, &root));
    XTRY(root.AddDataObject(kTidFrameTransformMatrix, "", Matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1}).bytes()));
    XTRY(root.AddDataObject(kTidFrame, "Bone", {}, &bone));
    XTRY(bone.AddDataObject(kTidFrameTransformMatrix, "", Matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 2, 0, 1}).bytes()));
    XTRY(bone.AddDataObject(kTidMesh, "Tri", Triangle().bytes(), &mesh));
    p.Clear();
    p.Dword(1).Floats(std::vector<float>{0, 0, -1}).Dword(1).Dwords(std::vector<uint32_t>{3, 0, 0, 0});
    XTRY(mesh.AddDataObject(kTidMeshNormals, "", p.bytes()));
    p.Clear();
    p.Dword(1).Dword(1).Dword(0);
    XSaveData list;
    XTRY(mesh.AddDataObject(kTidMeshMaterialList, "", p.bytes(), &list));
    XTRY(list.AddDataReference("Red"));
    p.Clear();
    p.Dword(3).Floats(std::vector<float>{0, 1, 1, 1, 0, 0});
    XTRY(mesh.AddDataObject(kTidMeshTextureCoords, "", p.bytes()));
    p.Clear();
    p.Dword(3);
    p.Dword(0).Floats(std::vector<float>{1, 1, 1, 1});
    p.Dword(1).Floats(std::vector<float>{1, 0, 0, 1});
    p.Dword(2).Floats(std::vector<float>{0, 0, 1, 0.5f});
    XTRY(mesh.AddDataObject(kTidMeshVertexColors, "", p.bytes()));
    p.Clear();
    p.Word(1).Word(1).Word(1);
    XTRY(mesh.AddDataObject(kTidXSkinMeshHeader, "", p.bytes()));
    p.Clear();
    p.String("Bone").Dword(3).Dwords(std::vector<uint32_t>{0, 1, 2}).Floats(std::vector<float>{1, 1, 1});
    p.Bytes(Matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -2, 0, 1}).bytes());
    XTRY(mesh.AddDataObject(kTidSkinWeights, "", p.bytes()));

    XTRY(root.AddDataObject(kTidFrame, "Other", {}, &other));
    XTRY(other.AddDataObject(kTidFrameTransformMatrix, "", Matrix(kIdentity).bytes()));
    XTRY(other.AddDataObject(kTidMesh, "Tri2", Triangle().bytes(), &mesh2));
    p.Clear();
    p.Dword(2).Dwords(std::vector<uint32_t>{2, 0, 3, 0, 1, 0, 5, 0});
    p.Dword(15).Dwords(std::vector<uint32_t>{0, 0, 3212836864u, 0, 1065353216u, 0, 0, 3212836864u, 1065353216u,
                                             1065353216u, 0, 0, 3212836864u, 0, 0});
    XTRY(mesh2.AddDataObject(kTidDeclData, "", p.bytes()));

    p.Clear();
    p.Dword(4800);
    XTRY(save.AddDataObject(kTidAnimTicksPerSecond, "", p.bytes()));
    XTRY(save.AddDataObject(kTidAnimationSet, "Wave", {}, &set));
    XTRY(set.AddDataObject(kTidAnimation, "", {}, &anim));
    XTRY(anim.AddDataReference("Bone"));
    p.Clear();
    p.Dword(1).Dword(1);
    XTRY(anim.AddDataObject(kTidAnimationOptions, "", p.bytes()));
    p.Clear();
    p.Dword(0).Dword(2);
    p.Dword(0).Dword(4).Floats(std::vector<float>{1, 0, 0, 0});
    p.Dword(4800).Dword(4).Floats(std::vector<float>{0.707107f, 0, 0, -0.707107f});
    XTRY(anim.AddDataObject(kTidAnimationKey, "", p.bytes()));
    p.Clear();
    p.Dword(1).Dword(2);
    p.Dword(0).Dword(3).Floats(std::vector<float>{1, 1, 1});
    p.Dword(4800).Dword(3).Floats(std::vector<float>{2, 2, 2});
    XTRY(anim.AddDataObject(kTidAnimationKey, "", p.bytes()));
    p.Clear();
    p.Dword(2).Dword(2);
    p.Dword(0).Dword(3).Floats(std::vector<float>{0, 2, 0});
    p.Dword(4800).Dword(3).Floats(std::vector<float>{0, 3, 0});
    XTRY(anim.AddDataObject(kTidAnimationKey, "", p.bytes()));
    XSaveData anim2;
    XTRY(set.AddDataObject(kTidAnimation, "", {}, &anim2));
    XTRY(anim2.AddDataReference("Other"));
    p.Clear();
    p.Dword(4).Dword(1);
    p.Dword(2400).Dword(16).Bytes(Matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 2.5f, 0, 1}).bytes());
    XTRY(anim2.AddDataObject(kTidAnimationKey, "", p.bytes()));
    return XResult::Success();
}

XResult WriteSampleEdges(XSaveObject& save) {
    XSaveData material, frame, child, mesh, list;
    XPayload p;
    p.Floats(std::vector<float>{-0.0f, 0.000001f, 123456.5f, 1, 1e18f, 1e-9f, -1e-9f, 0.1f, 0.2f, 0.3f, -7.25f});
    XTRY(save.AddDataObject(kTidMaterial, "Mat 01.Blue", p.bytes(), &material));
    p.Clear();
    p.String("dir/say \"hi\".png");
    XTRY(material.AddDataObject(kTidTextureFilename, "", p.bytes()));

    XTRY(save.AddDataObject(kTidFrame, "Float", {}, &frame));
    XTRY(frame.AddDataObject(kTidFrameTransformMatrix, "", Matrix(kIdentity).bytes()));
    XTRY(frame.AddDataObject(kTidFrame, "2Box-Anim_01", {}, &child));
    XTRY(child.AddDataObject(kTidFrameTransformMatrix, "", Matrix(kIdentity).bytes()));
    XTRY(child.AddDataObject(kTidMesh, "", Triangle().bytes(), &mesh));
    p.Clear();
    p.Dword(1).Dword(1).Dword(0);
    XTRY(mesh.AddDataObject(kTidMeshMaterialList, "", p.bytes(), &list));
    XTRY(list.AddDataReference("Mat 01.Blue"));
    XSaveData effect;
    XTRY(mesh.AddDataObject(kTidEffectInstance, "", XPayload().String("none.fx").bytes(), &effect));
    p.Clear();
    p.String("Empty").Dword(0);  // an empty array writes nothing at all
    XTRY(effect.AddDataObject(kTidEffectParamFloats, "", p.bytes()));
    XTRY(save.AddDataObject(kTidFrame, "Anim-Bone01", {}));
    return XResult::Success();
}

std::vector<uint8_t> RewriteAsText(const XDocument& doc) {
    return SaveSample(
        [&doc](XSaveObject& save) {
            std::vector<XSaveData> open(doc.nodes.size() + 1);
            for (size_t i = 0; i < doc.nodes.size(); ++i) {
                const XNode& n = doc.nodes[i];
                if (n.isReference) {
                    XTRY(open[n.parent].AddDataReference(doc.Name(n)));
                    continue;
                }
                const XGuid& guid = doc.TemplateOf(n).guid;
                XTRY(n.parent == kNoNode ? save.AddDataObject(guid, doc.Name(n), doc.Payload(n), &open[i])
                                         : open[n.parent].AddDataObject(guid, doc.Name(n), doc.Payload(n), &open[i]));
            }
            return XResult::Success();
        },
        XFileFormat::Text);
}

std::vector<uint8_t> SaveSample(SampleWriter writer, XFileFormat format) {
    XFile file;
    XResult r = file.RegisterPublishedTemplates();
    EXPECT_TRUE(r.ok()) << r.message;
    std::vector<uint8_t> bytes;
    std::unique_ptr<XSaveObject> save;
    r = file.CreateMemorySaveObject(&bytes, format, &save);
    EXPECT_TRUE(r.ok()) << r.message;
    r = writer(*save);
    EXPECT_TRUE(r.ok()) << r.message;
    r = save->Save();
    EXPECT_TRUE(r.ok()) << r.message;
    return bytes;
}

void ExpectSameTree(const XDocument& a, const XDocument& e, bool exactPayloads) {
    ASSERT_EQ(a.nodes.size(), e.nodes.size());
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        const XNode &x = a.nodes[i], &y = e.nodes[i];
        SCOPED_TRACE("node " + std::to_string(i) + " " + std::string(e.Name(y)));
        ASSERT_EQ(x.isReference, y.isReference);
        EXPECT_EQ(a.Name(x), e.Name(y));
        EXPECT_EQ(x.parent, y.parent);
        EXPECT_EQ(x.end, y.end);
        if (x.isReference) continue;
        EXPECT_EQ(a.TemplateOf(x).name, e.TemplateOf(y).name);
        if (exactPayloads) {
            EXPECT_TRUE(std::ranges::equal(a.Payload(x), e.Payload(y)));
        }
    }
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Outline(std::span<const uint8_t> bytes, std::initializer_list<std::string_view> withFields) {
    const ScratchDir scratch(ScratchDir::TestName() + ".outline");
    const std::string path = (scratch.path() / "in.x").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::ostringstream text, err;
    EXPECT_EQ(RunInspect(path, false, text, err), 0) << err.str();
    std::istringstream lines(text.str());
    std::string line, out;
    std::getline(lines, line);  // the header line
    while (std::getline(lines, line)) {
        const size_t size = line.find(" (");
        if (size != std::string::npos) {
            const size_t fields = line.find(") ", size);
            const size_t start = line.find_first_not_of(' ');
            const std::string_view tmpl = std::string_view(line).substr(start, line.find(' ', start) - start);
            const bool keep = fields != std::string::npos && std::ranges::find(withFields, tmpl) != withFields.end();
            line = line.substr(0, size) + (keep ? line.substr(fields + 1) : "");
        }
        out += line + "\n";
    }
    return out;
}

}  // namespace xfile_test
