#include "sdk/mesh.h"

#include <algorithm>

void MeshNormalSpec::BuildNormals() {
    for (Point3& n : normals) n = Normalize(n);
}

bool MeshNormalSpec::CheckNormals(const Mesh& mesh) const {
    const uint32_t count = static_cast<uint32_t>(normals.size());
    const FaceCorners corners = Faces(mesh);
    for (size_t f = 0; f < corners.size(); ++f)
        for (int k = 0; k < 3; ++k)
            if (corners[f][k] >= count) return false;
    return true;
}

void Mesh::setNumFaces(int n) {
    faces.resize(n);
    normalsBuilt_ = false;
}

MeshMap& Mesh::Map(int channel) {
    const size_t index = static_cast<size_t>(channel - kMapChannelMin);
    if (index >= maps_.size()) maps_.resize(index + 1);
    if (!maps_[index]) maps_[index] = std::make_unique<MeshMap>();
    return *maps_[index];
}

const MeshMap& Mesh::Map(int channel) const {
    static const MeshMap unused;
    const size_t index = static_cast<size_t>(channel - kMapChannelMin);
    return index < maps_.size() && maps_[index] ? *maps_[index] : unused;
}

bool Mesh::mapSupport(int channel) const {
    if (channel < kMapChannelMin || channel > kMapChannelMax) return false;
    return Map(channel).supported;
}

void Mesh::setMapSupport(int channel, bool support) {
    if (channel < kMapChannelMin || channel > kMapChannelMax) return;
    const size_t index = static_cast<size_t>(channel - kMapChannelMin);
    if (!support && (index >= maps_.size() || !maps_[index])) return;  // nothing to clear
    MeshMap& map = Map(channel);
    map.supported = support;
    if (!support) {
        map.tv.clear();
        map.tf.clear();
        map.sharesMeshFaces = false;
    }
}

FaceCorners Mesh::mapFaces(int channel) const {
    if (!mapSupport(channel)) return {};
    const MeshMap& map = Map(channel);
    return map.sharesMeshFaces ? FaceCorners(faces) : FaceCorners(map.tf);
}

const Point3* Mesh::mapVerts(int channel) const {
    if (!mapSupport(channel) || Map(channel).tv.empty()) return nullptr;
    return Map(channel).tv.data();
}

int Mesh::getNumMapVerts(int channel) const {
    return mapSupport(channel) ? static_cast<int>(Map(channel).tv.size()) : 0;
}

bool Mesh::hasColorVerts() const { return getNumMapVerts(kVertexColorChannel) > 0; }

bool Mesh::hasColorFaces() const { return !mapFaces(kVertexColorChannel).empty(); }

MeshNormalSpec& Mesh::SpecifyNormals() {
    if (!specifiedNormals_) specifiedNormals_ = std::make_unique<MeshNormalSpec>();
    return *specifiedNormals_;
}

void BuildRenderNormals(const Mesh& mesh, MeshRenderNormals& out) {
    const std::vector<Point3>& verts = mesh.verts;
    const std::vector<Face>& faces = mesh.faces;
    std::vector<Point3>& faceNormals = out.faceNormals;
    std::vector<RVertex>& renderVerts = out.renderVerts;
    std::vector<RNormal>& renderNormals = out.renderNormals;
    const size_t faceCount = faces.size();
    const size_t vertCount = verts.size();
    faceNormals.assign(faceCount, Point3{});
    for (size_t f = 0; f < faceCount; ++f) {
        const Face& face = faces[f];
        if (face.v[0] >= vertCount || face.v[1] >= vertCount || face.v[2] >= vertCount) continue;
        const Point3 a = verts[face.v[0]], b = verts[face.v[1]], c = verts[face.v[2]];
        faceNormals[f] = Normalize((b - a) ^ (c - a));
    }

    // Faces incident to each vertex, as flat lists (counts, then offsets, then entries).
    std::vector<uint32_t> first(vertCount + 1, 0);
    for (const Face& face : faces)
        for (uint32_t v : face.v)
            if (v < vertCount) ++first[v + 1];
    for (size_t v = 0; v < vertCount; ++v) first[v + 1] += first[v];
    std::vector<uint32_t> incident(first[vertCount]);
    std::vector<uint32_t> fill(first.begin(), first.end() - 1);
    for (size_t f = 0; f < faceCount; ++f)
        for (uint32_t v : faces[f].v)
            if (v < vertCount) incident[fill[v]++] = static_cast<uint32_t>(f);

    // One normal per cluster of smoothing groups at each vertex: faces whose groups share a
    // bit with a cluster join it, and clusters that a face bridges are merged.
    renderVerts.assign(vertCount, RVertex{});
    renderNormals.clear();
    renderNormals.reserve(vertCount);
    std::vector<RNormal> clusters;
    for (size_t v = 0; v < vertCount; ++v) {
        clusters.clear();
        for (uint32_t i = first[v]; i < first[v + 1]; ++i) {
            const uint32_t f = incident[i];
            const uint32_t group = faces[f].smGroup;
            if (group == 0) continue;
            RNormal joined{faceNormals[f], group};
            for (size_t c = 0; c < clusters.size();) {
                if (clusters[c].smGroup & joined.smGroup) {
                    joined.normal += clusters[c].normal;
                    joined.smGroup |= clusters[c].smGroup;
                    clusters.erase(clusters.begin() + static_cast<ptrdiff_t>(c));
                } else {
                    ++c;
                }
            }
            clusters.push_back(joined);
        }
        RVertex& rv = renderVerts[v];
        rv.firstNormal = static_cast<uint32_t>(renderNormals.size());
        rv.normalCount = static_cast<uint32_t>(clusters.size());
        for (RNormal& c : clusters) {
            c.normal = Normalize(c.normal);
            renderNormals.push_back(c);
        }
    }
}

void Mesh::buildNormals() {
    BuildRenderNormals(*this, normals_);
    normalsBuilt_ = true;
}

void Mesh::checkNormals(bool /*illegalIsError*/) {
    if (!normalsBuilt_ || normals_.faceNormals.size() != faces.size() || normals_.renderVerts.size() != verts.size())
        buildNormals();
}

const RVertex* Mesh::getRVertPtr(int i) const {
    if (i < 0 || static_cast<size_t>(i) >= normals_.renderVerts.size()) return nullptr;
    return &normals_.renderVerts[i];
}

void Mesh::DeepCopy(const Mesh& source, uint64_t /*channels*/) {
    if (this == &source) return;
    verts = source.verts;
    faces = source.faces;
    maps_.clear();
    maps_.resize(source.maps_.size());
    for (size_t i = 0; i < source.maps_.size(); ++i)
        if (source.maps_[i]) maps_[i] = std::make_unique<MeshMap>(*source.maps_[i]);
    specifiedNormals_ = source.specifiedNormals_ ? std::make_unique<MeshNormalSpec>(*source.specifiedNormals_) : nullptr;
    normals_ = source.normals_;
    normalsBuilt_ = source.normalsBuilt_;
}

AdjEdgeList::AdjEdgeList(const Mesh& mesh) {
    const uint32_t vertCount = static_cast<uint32_t>(mesh.verts.size());
    // Directed half-edges sorted by their undirected key give each edge once.
    struct HalfEdge {
        uint32_t lo, hi;
        int32_t face;
    };
    std::vector<HalfEdge> half;
    half.reserve(mesh.faces.size() * 3);
    for (size_t f = 0; f < mesh.faces.size(); ++f) {
        const Face& face = mesh.faces[f];
        for (int k = 0; k < 3; ++k) {
            uint32_t a = face.v[k], b = face.v[(k + 1) % 3];
            if (a >= vertCount || b >= vertCount || a == b) continue;
            half.push_back({std::min(a, b), std::max(a, b), static_cast<int32_t>(f)});
        }
    }
    std::stable_sort(half.begin(), half.end(), [](const HalfEdge& x, const HalfEdge& y) {
        return x.lo < y.lo || (x.lo == y.lo && x.hi < y.hi);
    });
    for (size_t i = 0; i < half.size();) {
        MEdge e;
        e.v[0] = half[i].lo;
        e.v[1] = half[i].hi;
        e.f[0] = half[i].face;
        size_t j = i + 1;
        if (j < half.size() && half[j].lo == e.v[0] && half[j].hi == e.v[1]) e.f[1] = half[j].face;
        while (j < half.size() && half[j].lo == e.v[0] && half[j].hi == e.v[1]) ++j;
        edges.push_back(e);
        i = j;
    }
    vertexEdgeFirst.assign(vertCount + 1, 0);
    for (const MEdge& e : edges) {
        ++vertexEdgeFirst[e.v[0] + 1];
        ++vertexEdgeFirst[e.v[1] + 1];
    }
    for (uint32_t v = 0; v < vertCount; ++v) vertexEdgeFirst[v + 1] += vertexEdgeFirst[v];
    vertexEdges.resize(vertexEdgeFirst[vertCount]);
    std::vector<uint32_t> fill(vertexEdgeFirst.begin(), vertexEdgeFirst.end() - 1);
    for (uint32_t i = 0; i < edges.size(); ++i) {
        vertexEdges[fill[edges[i].v[0]]++] = i;
        vertexEdges[fill[edges[i].v[1]]++] = i;
    }
}
