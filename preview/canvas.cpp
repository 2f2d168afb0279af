#include "preview/canvas.h"

#include <GL/osmesa.h>

#include <algorithm>
#include <cmath>

#include "preview/pose.h"

namespace preview {
namespace {

// The projection from left-handed view space (z away from the viewer) to OpenGL's clip
// space, as an OpenGL matrix (column-major, which is the memory order of a row-vector matrix).
Mat4 Projection(const Camera& c) {
    const float sy = 1.0f / std::tan(c.fovY / 2);
    const float sx = sy / c.aspect;
    const float a = (c.farZ + c.nearZ) / (c.farZ - c.nearZ);
    const float b = -2 * c.farZ * c.nearZ / (c.farZ - c.nearZ);
    // Row vectors: (x, y, z, 1) -> (sx x, sy y, a z + b, z).
    return Mat4{sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, a, 1, 0, 0, b, 0};
}

class MesaCanvas final : public Canvas {
public:
    MesaCanvas(OSMesaContext context, int width, int height)
        : context_(context), width_(width), height_(height), pixels_(size_t(width) * height * 4) {}
    ~MesaCanvas() override {
        if (!textures_.empty()) glDeleteTextures(static_cast<GLsizei>(textures_.size()), textures_.data());
        OSMesaDestroyContext(context_);
    }

    bool Bind() {
        if (!OSMesaMakeCurrent(context_, pixels_.data(), GL_UNSIGNED_BYTE, width_, height_)) return false;
        OSMesaPixelStore(OSMESA_Y_UP, 0);  // rows top to bottom, as the picture is written
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);  // Direct3D's front faces are clockwise on screen
        glCullFace(GL_BACK);
        glShadeModel(GL_SMOOTH);
        glEnable(GL_NORMALIZE);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
        const GLfloat ambient[] = {0.25f, 0.25f, 0.25f, 1};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        const GLfloat white[] = {1, 1, 1, 1}, black[] = {0, 0, 0, 1};
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_SPECULAR, white);
        glLightfv(GL_LIGHT0, GL_AMBIENT, black);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        return true;
    }

    void SetTextures(const std::vector<const Image*>& perMaterial) override {
        if (!textures_.empty()) glDeleteTextures(static_cast<GLsizei>(textures_.size()), textures_.data());
        textures_.assign(perMaterial.size(), 0);
        translucent_.assign(perMaterial.size(), 0);
        std::vector<std::pair<const Image*, GLuint>> made;
        for (size_t m = 0; m < perMaterial.size(); ++m) {
            const Image* image = perMaterial[m];
            if (!image) continue;
            translucent_[m] = image->translucent;
            auto same = std::find_if(made.begin(), made.end(), [&](const auto& e) { return e.first == image; });
            if (same != made.end()) {
                textures_[m] = same->second;
                continue;
            }
            GLuint name = 0;
            glGenTextures(1, &name);
            glBindTexture(GL_TEXTURE_2D, name);
            glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
            // The first row is v = 0, the top of the image, as Direct3D samples it.
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image->width, image->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         image->rgba.data());
            textures_[m] = name;
            made.emplace_back(image, name);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    void Clear(const std::array<uint8_t, 4>& c) override {
        glDisable(GL_SCISSOR_TEST);
        glViewport(0, 0, width_, height_);
        glClearColor(c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f, c[3] / 255.0f);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    void Draw(int x, int y, int width, int height, const Camera& camera, const std::vector<DrawItem>& items,
              const std::vector<DrawMaterial>& materials, bool wireframe, const std::vector<LineSet>& lines) override {
        const int glY = height_ - y - height;
        glViewport(x, glY, width, height);
        glScissor(x, glY, width, height);
        glEnable(GL_SCISSOR_TEST);
        glClear(GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        const Mat4 projection = Projection(camera);
        glLoadMatrixf(projection.data());
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        // A light over the viewer's left shoulder, fixed to the camera.
        const GLfloat toLight[] = {-0.4f, 0.5f, -1.0f, 0.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, toLight);
        glPolygonMode(GL_FRONT_AND_BACK, wireframe ? GL_LINE : GL_FILL);

        // Opaque subsets first, then translucent ones blended over them without depth writes.
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1) {
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                glDepthMask(GL_FALSE);
            }
            for (const DrawItem& item : items) {
                const DrawMesh& mesh = *item.mesh;
                glLoadMatrixf(Multiply(item.world, camera.view).data());
                glEnableClientState(GL_VERTEX_ARRAY);
                glVertexPointer(3, GL_FLOAT, 0, item.positions);
                glEnableClientState(GL_NORMAL_ARRAY);
                glNormalPointer(GL_FLOAT, 0, item.normals);
                if (!mesh.colors.empty()) {
                    // Vertex colours stand in for the material's diffuse colour, as Direct3D's
                    // default diffuse source does.
                    glEnableClientState(GL_COLOR_ARRAY);
                    glColorPointer(4, GL_FLOAT, 0, mesh.colors.data());
                    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
                    glEnable(GL_COLOR_MATERIAL);
                }
                if (!mesh.uvs.empty()) {
                    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                    glTexCoordPointer(2, GL_FLOAT, 0, mesh.uvs.data());
                }
                for (const DrawSubset& subset : mesh.subsets) {
                    const DrawMaterial& m = materials[subset.material];
                    const GLuint texture = subset.material < textures_.size() ? textures_[subset.material] : 0;
                    const bool translucent = m.diffuse[3] < 1.0f || (!mesh.colors.empty() && HasTranslucentColor(mesh));
                    if (translucent != (pass == 1)) continue;
                    SetMaterial(m);
                    if (texture && !mesh.uvs.empty()) {
                        glEnable(GL_TEXTURE_2D);
                        glBindTexture(GL_TEXTURE_2D, texture);
                        if (translucent_[subset.material]) {
                            glEnable(GL_ALPHA_TEST);
                            glAlphaFunc(GL_GREATER, 0.5f);
                        }
                    }
                    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(subset.count), GL_UNSIGNED_INT,
                                   mesh.indices.data() + subset.first);
                    glDisable(GL_ALPHA_TEST);
                    glDisable(GL_TEXTURE_2D);
                }
                glDisable(GL_COLOR_MATERIAL);
                glDisableClientState(GL_COLOR_ARRAY);
                glDisableClientState(GL_TEXTURE_COORD_ARRAY);
                glDisableClientState(GL_NORMAL_ARRAY);
                glDisableClientState(GL_VERTEX_ARRAY);
            }
        }
        glDisable(GL_BLEND);
        glDepthMask(GL_TRUE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

        glLoadMatrixf(camera.view.data());
        glDisable(GL_LIGHTING);
        for (const LineSet& set : lines) {
            if (set.points.empty()) continue;
            if (set.onTop) glDisable(GL_DEPTH_TEST);
            glColor4fv(set.color.data());
            glEnableClientState(GL_VERTEX_ARRAY);
            glVertexPointer(3, GL_FLOAT, 0, set.points.data());
            glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(set.points.size() / 3));
            glPointSize(3);
            glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(set.points.size() / 3));
            glDisableClientState(GL_VERTEX_ARRAY);
            glEnable(GL_DEPTH_TEST);
        }
        glEnable(GL_LIGHTING);
    }

    const uint8_t* Pixels() override {
        glFinish();
        return pixels_.data();
    }

    void Detach() override {
        glFinish();
        OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    }

    bool Attach() override { return Bind(); }

private:
    static bool HasTranslucentColor(const DrawMesh& mesh) {
        for (size_t i = 3; i < mesh.colors.size(); i += 4)
            if (mesh.colors[i] < 1.0f) return true;
        return false;
    }

    static void SetMaterial(const DrawMaterial& m) {
        // The file's material has no ambient colour: engines of the time took the diffuse one.
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m.diffuse.data());
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m.diffuse.data());
        const GLfloat specular[] = {m.specular[0], m.specular[1], m.specular[2], 1};
        const GLfloat emissive[] = {m.emissive[0], m.emissive[1], m.emissive[2], 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emissive);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.power, 0.0f, 128.0f));
    }

    OSMesaContext context_;
    int width_, height_;
    std::vector<uint8_t> pixels_;
    std::vector<GLuint> textures_;
    std::vector<char> translucent_;
};

}  // namespace

std::unique_ptr<Canvas> Canvas::Create(int width, int height, std::string* error) {
    const int attributes[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24, OSMESA_STENCIL_BITS, 0,
                              OSMESA_PROFILE, OSMESA_COMPAT_PROFILE, 0};
    OSMesaContext context = OSMesaCreateContextAttribs(attributes, nullptr);
    if (!context) {
        *error = "Mesa's software OpenGL (OSMesa) could not make a drawing context";
        return nullptr;
    }
    auto canvas = std::make_unique<MesaCanvas>(context, width, height);
    if (!canvas->Bind()) {
        *error = "Mesa's software OpenGL (OSMesa) could not draw a picture of " + std::to_string(width) + " x " +
                 std::to_string(height) + " pixels";
        return nullptr;
    }
    return canvas;
}

}  // namespace preview
