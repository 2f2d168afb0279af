// Baking procedural maps into BMP files, the procedural evaluators and the bitmap writer.
#include "material_test_util.h"

#include <vector>

#include "host/objects/bitmap_writer.h"
#include "host/objects/procedural_maps.h"
#include "material/bake_texmap.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // third-party code
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

// Records where it was sampled and returns a colour, alpha included, from the sample position.
class RecordingMap final : public Texmap {
public:
    const char* GetName() override { return "Recorder"; }
    AColor EvalColor(ShadeContext& sc) override {
        uvw.push_back(sc.UVW(3));
        points.push_back(sc.P());
        normals.push_back(sc.Normal());
        derivatives.push_back(sc.DUVW(1));
        return {uvw.back().x, uvw.back().y, 0, 1 - uvw.back().x};
    }
    std::vector<Point3> uvw, points, normals, derivatives;
};

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* Pixel(int x, int y) const { return rgba.data() + (y * width + x) * 4; }
};

Image LoadBmp(const std::string& path) {
    Image image;
    int channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 4);
    if (data == nullptr) return image;
    image.rgba.assign(data, data + image.width * image.height * 4);
    stbi_image_free(data);
    return image;
}

}  // namespace

TEST(Bake, SamplePositions) {
    ScratchDir dir;
    HostBitmapManager manager;
    RecordingMap map;
    ASSERT_TRUE(BakeTexmap(&manager, &map, 1, 1, dir.dir() + "one.bmp"));
    ASSERT_EQ(map.uvw.size(), 1u);
    EXPECT_EQ(map.uvw[0], Point3(0, 1, 0));  // a 1 x 1 map samples u = 0, v = 1
    EXPECT_EQ(map.points[0], Point3(0, 100, 0));

    map.uvw.clear();
    map.points.clear();
    std::ofstream(dir.dir() + "four.bmp") << "old contents";
    ASSERT_TRUE(BakeTexmap(&manager, &map, 4, 2, dir.dir() + "four.bmp"));
    ASSERT_EQ(map.uvw.size(), 8u);
    // Row by row from the top, u = c / W, v = (H - r) / H.
    EXPECT_EQ(map.uvw[0], Point3(0, 1, 0));
    EXPECT_EQ(map.uvw[3], Point3(0.75f, 1, 0));
    EXPECT_EQ(map.uvw[5], Point3(0.25f, 0.5f, 0));
    EXPECT_EQ(map.points[5], Point3(25, 50, 0));
    EXPECT_EQ(map.normals[5], Point3(0, 0, 1));
    EXPECT_EQ(map.derivatives[5], Point3(0, 0, 0));

    // Pixel (c, r) of the file holds the colour of sample (c, r), alpha too, which only a 32-bit
    // file can; the file replaces the old one.
    const Image image = LoadBmp(dir.dir() + "four.bmp");
    ASSERT_EQ(image.width, 4);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.Pixel(3, 0)[0], 191);  // u = 0.75
    EXPECT_EQ(image.Pixel(3, 0)[1], 255);  // v = 1
    EXPECT_EQ(image.Pixel(1, 1)[0], 64);   // u = 0.25
    EXPECT_EQ(image.Pixel(1, 1)[1], 128);  // v = 0.5
    EXPECT_EQ(image.Pixel(3, 0)[3], 64);   // 1 - u
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 2);
}

TEST(Bake, NothingHappensForMissingInputsOrUnwritablePaths) {
    ScratchDir dir;
    HostBitmapManager manager;
    HostCheckerMap checker;
    EXPECT_FALSE(BakeTexmap(&manager, nullptr, 4, 4, dir.dir() + "a.bmp"));
    EXPECT_FALSE(BakeTexmap(&manager, &checker, 4, 4, ""));
    EXPECT_FALSE(BakeTexmap(&manager, &checker, 0, 4, dir.dir() + "a.bmp"));
    EXPECT_FALSE(BakeTexmap(&manager, &checker, 4, kMaxBitmapSide + 1, dir.dir() + "a.bmp"));
    EXPECT_FALSE(BakeTexmap(nullptr, &checker, 4, 4, dir.dir() + "a.bmp"));
    EXPECT_FALSE(BakeTexmap(&manager, &checker, 4, 4, dir.dir() + "no/such/dir/a.bmp"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(ProceduralMaps, Evaluators) {
    ShaderContextTex sc(4, 4);
    HostCheckerMap checker;  // two squares a side
    sc.SetPixel(0, 0);
    EXPECT_EQ(checker.EvalColor(sc), checker.color1);
    sc.SetPixel(0, 2);
    EXPECT_EQ(checker.EvalColor(sc), checker.color2);
    HostGradientMap gradient;
    sc.SetPixel(0, 0);  // v = 1
    EXPECT_EQ(gradient.EvalColor(sc), gradient.color1);
    sc.SetPixel(0, 2);  // v = 0.5
    EXPECT_EQ(gradient.EvalColor(sc), gradient.color2);
    gradient.type = HostGradientMap::Type::Radial;
    sc.SetPixel(0, 0);  // a corner, beyond distance 0.5
    EXPECT_EQ(gradient.EvalColor(sc), gradient.color3);
    sc.SetPixel(2, 2);  // the centre
    EXPECT_EQ(gradient.EvalColor(sc), gradient.color1);

    HostNoiseMap noise;
    float low = 1, high = 0;
    for (int i = 0; i < 200; ++i) {
        const float v = noise.Value(Point3(i * 3.7f, i * 1.3f, 0));
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1.0f);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    EXPECT_GT(high - low, 0.3f);  // it is noise, not a constant
    EXPECT_EQ(noise.Value(Point3(10, 20, 0)), noise.Value(Point3(10, 20, 0)));
    noise.type = HostNoiseMap::Type::Turbulence;
    EXPECT_GE(noise.Value(Point3(1e30f, -1e30f, 5)), 0.0f);  // huge coordinates stay defined
    EXPECT_EQ(GradientNoise(Point3(std::nanf(""), 0, 0)), 0.0f);
}
