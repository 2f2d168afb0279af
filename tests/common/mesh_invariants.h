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
#include "xfile/format/xreader.h"

namespace mesh_invariants {

inline bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The record: dense vertex indices that point back at their corner records, no two equal
// records at one position, faces inside the vertex list, slices inside the pool, and no value
// that is not finite.
inline void ExpectMeshDataInvariants(const XMeshData& data) {
    ASSERT_EQ(data.positions.size(), data.positionCount);
    ASSERT_EQ(data.faces.size(), data.faceCount);
    ASSERT_EQ(data.channelMap.size(), data.channels.size());
    ASSERT_EQ(data.uvPool.size(), data.cornerPool.size() * data.uvStride);
    uint32_t corners = 0;
    for (const XMeshPosition& p : data.positions) {
        EXPECT_LE(size_t(p.corners.first) + p.corners.count, data.slotVertex.size());
        EXPECT_TRUE(Finite(p.position));
        corners += p.corners.count;
    }
    EXPECT_EQ(corners, data.vertices.size());
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        const XMeshVertex& v = data.vertices[k];
        ASSERT_LT(v.positionIndex, data.positions.size());
        ASSERT_LT(v.cornerIndex, data.positions[v.positionIndex].corners.count);
        EXPECT_TRUE(Finite(data.VertexCorner(k).normal)) << "vertex " << k;
        if (k < data.tangents.size()) {
            EXPECT_TRUE(Finite(data.tangents[k]) && Finite(data.bitangents[k])) << "vertex " << k;
        }
    }
    for (const XMeshFace& f : data.faces)
        for (uint32_t i : f.index) EXPECT_LT(i, data.vertices.size());
    // Re-adding any stored record to a copy finds it instead of making a new vertex.
    XMeshData copy = data;
    for (uint32_t k = 0; k < data.vertices.size(); ++k) {
        const XMeshVertex& v = data.vertices[k];
        const uint32_t slot = data.VertexSlot(k);
        EXPECT_EQ(AddCorner(copy, v.positionIndex, data.SlotCorner(slot), data.Uv(slot)), k);
    }
    EXPECT_EQ(copy.vertices.size(), data.vertices.size()) << "two records of one position compare equal";
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
