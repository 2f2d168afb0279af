// The rules every exported mesh keeps, checked after each export the tests run: on the
// exporter's own mesh records where they are reachable, and on the Mesh objects read back from
// the written file where only its bytes are.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "mesh/mesh_data.h"
#include "xformat/xreader.h"

namespace mesh_invariants {

inline bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The record: attribute lists one entry per export vertex, vertices that name a position, faces
// inside the vertex list, no vertex shared by faces of different materials, no two equal
// records at one position, and no value that is not finite.
inline void ExpectMeshDataInvariants(const XMeshData& data) {
    const size_t vertexCount = data.vertices.size();
    ASSERT_EQ(data.positions.size(), data.positionCount);
    ASSERT_EQ(data.faces.size(), data.faceCount);
    ASSERT_TRUE(data.faceMaterials.empty() || data.faceMaterials.size() == data.faceCount);
    ASSERT_EQ(data.channelMap.size(), data.channels.size());
    ASSERT_EQ(data.normals.size(), vertexCount);
    ASSERT_EQ(data.uvPool.size(), vertexCount * data.uvStride);
    ASSERT_TRUE(data.colorPool.empty() || data.colorPool.size() == vertexCount * 4);
    for (const XMeshPosition& p : data.positions) EXPECT_TRUE(Finite(p.position));
    for (uint32_t k = 0; k < vertexCount; ++k) {
        ASSERT_LT(data.vertices[k].positionIndex, data.positions.size());
        EXPECT_TRUE(Finite(data.VertexCorner(k).normal)) << "vertex " << k;
        if (k < data.tangents.size()) {
            EXPECT_TRUE(Finite(data.tangents[k]) && Finite(data.bitangents[k])) << "vertex " << k;
        }
    }
    std::vector<int64_t> material(vertexCount, -1);
    for (uint32_t f = 0; f < data.faces.size(); ++f)
        for (uint32_t i : data.faces[f].index) {
            ASSERT_LT(i, vertexCount);
            EXPECT_TRUE(material[i] == -1 || material[i] == data.FaceMaterial(f)) << "vertex " << i;
            material[i] = data.FaceMaterial(f);
        }
    // Re-adding every record in order to an empty copy finds each at its own export vertex.
    XMeshData copy;
    copy.uvStride = data.uvStride;
    copy.hasVertexColors = data.hasVertexColors;
    copy.hasVertexAlpha = data.hasVertexAlpha;
    CornerSharing sharing(data.positionCount, vertexCount, true);
    for (uint32_t k = 0; k < vertexCount; ++k) {
        const int32_t m = static_cast<int32_t>(material[k]);
        EXPECT_EQ(sharing.Add(copy, data.vertices[k].positionIndex, data.VertexCorner(k), m, data.Uv(k)), k)
            << "two records of one position compare equal";
    }
}

// Reads little-endian DWORDs and FLOATs from a payload; reading past its end sets `bad`.
struct PayloadCursor {
    std::span<const uint8_t> bytes;
    size_t at = 0;
    bool bad = false;
    uint32_t Dword() {
        uint32_t v = 0;
        if (at + 4 > bytes.size()) return bad = true, 0;
        std::memcpy(&v, bytes.data() + at, 4);
        at += 4;
        return v;
    }
    float Float() {
        const uint32_t bits = Dword();
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
};

// Face lists of Mesh and MeshNormals: every index below `count`; returns the face count.
inline uint32_t ExpectFacesInRange(PayloadCursor& c, uint32_t count, const std::string& where) {
    const uint32_t faces = c.Dword();
    for (uint32_t f = 0; f < faces && !c.bad; ++f) {
        const uint32_t n = c.Dword();
        EXPECT_GE(n, 3u) << where << " face " << f;
        for (uint32_t k = 0; k < n && !c.bad; ++k) EXPECT_LT(c.Dword(), count) << where << " face " << f;
    }
    return faces;
}

// Every Mesh object of a read-back file: faces name existing vertices; normals are finite, of
// unit length and indexed per face like the mesh; texture coordinates one per vertex; vertex
// colours name existing vertices; material indices fall inside the material list.
inline void ExpectMeshObjectsValid(const xfile::XDocument& doc) {
    if (doc.floatSize64) return;
    for (uint32_t i = 0; i < doc.nodes.size(); ++i) {
        const xfile::XNode& mesh = doc.nodes[i];
        if (mesh.isReference || doc.TemplateOf(mesh).name != "Mesh") continue;
        const std::string where = "mesh '" + std::string(doc.Name(mesh)) + "'";
        PayloadCursor c{doc.Payload(mesh)};
        const uint32_t vertices = c.Dword();
        for (uint32_t k = 0; k < vertices * 3 && !c.bad; ++k) EXPECT_TRUE(std::isfinite(c.Float())) << where;
        const uint32_t faces = ExpectFacesInRange(c, vertices, where);
        ASSERT_FALSE(c.bad) << where << ": payload too short";
        for (uint32_t child : doc.Children(i)) {
            const xfile::XNode& node = doc.nodes[child];
            if (node.isReference) continue;
            const std::string& name = doc.TemplateOf(node).name;
            PayloadCursor p{doc.Payload(node)};
            if (name == "MeshNormals") {
                const uint32_t normals = p.Dword();
                for (uint32_t k = 0; k < normals && !p.bad; ++k) {
                    const float x = p.Float(), y = p.Float(), z = p.Float();
                    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) << where << " normal " << k;
                    EXPECT_NEAR(x * x + y * y + z * z, 1.0f, 1e-3f) << where << " normal " << k;
                }
                EXPECT_EQ(ExpectFacesInRange(p, normals, where + " normals"), faces) << where;
            } else if (name == "MeshTextureCoords") {
                EXPECT_EQ(p.Dword(), vertices) << where << " texture coordinates";
            } else if (name == "MeshVertexColors") {
                const uint32_t colors = p.Dword();
                for (uint32_t k = 0; k < colors && !p.bad; ++k) {
                    EXPECT_LT(p.Dword(), vertices) << where << " vertex colour " << k;
                    for (int e = 0; e < 4; ++e) p.Float();
                }
            } else if (name == "MeshMaterialList") {
                const uint32_t materials = p.Dword(), indexed = p.Dword();
                EXPECT_LE(indexed, faces) << where;
                for (uint32_t k = 0; k < indexed && !p.bad; ++k) EXPECT_LT(p.Dword(), materials) << where << " face " << k;
                EXPECT_EQ(doc.Children(child).size(), materials) << where << ": materials listed";
            } else {
                continue;
            }
            EXPECT_FALSE(p.bad) << where << ": " << name << " payload too short";
        }
    }
}

// The same for an X file written to disk; files that are not X files (left untouched by a
// failed export, say) are not looked at.
inline void ExpectMeshObjectsValid(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "xof ", 4) != 0) return;
    xfile::XDocument doc;
    const xfile::XResult result = xfile::ReadXFile(bytes, &doc);
    ASSERT_TRUE(result.ok()) << path << ": " << result.message;
    SCOPED_TRACE(path);
    ExpectMeshObjectsValid(doc);
}

// Every X file under a folder, before a test removes it.
inline void ExpectMeshObjectsValidUnder(const std::filesystem::path& dir) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file() && it->path().extension() == ".x") ExpectMeshObjectsValid(it->path().string());
}

}  // namespace mesh_invariants
