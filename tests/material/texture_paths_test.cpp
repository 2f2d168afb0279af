// Texture path resolution, slot UV transforms.
#include "material_test_util.h"

#include "core/paths.h"
#include "material/texture_paths.h"
#include "material/uv_transform.h"

namespace {

void ExpectMatrix2Near(const Matrix2& actual, const Matrix2& expected) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j) EXPECT_NEAR(actual.m[i][j], expected.m[i][j], 1e-6f) << i << "," << j;
}

}  // namespace

TEST(TexturePaths, MissingFileIsSearchedInTheDirectoriesInOrder) {
    ScratchDir dir;
    TextureSearchDirectories state;
    state.sceneDirectory = (dir.path() / "scene").string() + "/";
    state.hostDirectory1 = (dir.path() / "maps1").string();  // no trailing separator
    state.hostDirectory2 = (dir.path() / "maps2").string() + "/";
    const std::string inHost2 = dir.Touch("maps2/deep/er/stone.png");
    const std::string inHost1 = dir.Touch("maps1/stone.png");
    dir.Touch("scene/.hidden/stone.png");  // directories beginning with "." are skipped
    dir.Touch("scene/Stone.PNG");          // letter case matters

    EXPECT_EQ(ResolveTexturePath("C:\\old\\place\\stone.png", state), inHost1);
    const std::string inScene = dir.Touch("scene/textures/stone.png");
    EXPECT_EQ(ResolveTexturePath("C:/old/place/stone.png", state), inScene);
    std::filesystem::remove_all(dir.path() / "maps1");
    std::filesystem::remove_all(dir.path() / "scene");
    EXPECT_EQ(ResolveTexturePath("stone.png", state), inHost2);

    // Found nowhere: the scene directory's would-be copy.
    EXPECT_EQ(ResolveTexturePath("D:\\gone\\missing.tga", state), state.sceneDirectory + "missing.tga");
    // A path ending in a separator names no file and is kept.
    EXPECT_EQ(ResolveTexturePath("D:\\gone\\", state), "D:\\gone\\");
}

TEST(TexturePaths, FindFileInTreeVisitsDepthFirstInNameOrder) {
    ScratchDir dir;
    const std::string a = dir.Touch("a/x/t.png");
    dir.Touch("b/t.png");
    EXPECT_EQ(FindFileInTree(dir.dir(), "t.png"), a);
    EXPECT_EQ(FindFileInTree(dir.dir(), "T.png"), "");
    EXPECT_EQ(FindFileInTree(dir.dir(), ""), "");
    EXPECT_EQ(FindFileInTree(dir.dir(), "x"), "");  // directories are not files
    EXPECT_EQ(FindFileInTree((dir.path() / "absent").string(), "t.png"), "");
    std::string deep;  // the search gives up below a bounded depth
    for (int i = 0; i <= kMaxFileSearchDepth; ++i) deep += "d/";
    dir.Touch(deep + "buried.png");
    EXPECT_EQ(FindFileInTree(dir.dir(), "buried.png"), "");
#ifndef _WIN32
    // A link back up the tree is not followed (it would never end).
    std::filesystem::create_directory_symlink(dir.path(), dir.path() / "a" / "loop");
    EXPECT_EQ(FindFileInTree(dir.dir(), "nothing.png"), "");
#endif
}

TEST(UvTransform, CropAppliesOnlyInCropModeWithoutOtherTransform) {
    HostBitmapTex map;
    map.tiling = kUTile | kVTile;
    map.SetCrop(0.25f, 0.25f, 0.5f, 0.5f, true, false);
    ExpectMatrix2Near(MakeUvTransform(&map), Rows(0.5f, 0, 0, -0.5f, 0.25f, 0.75f));

    map.SetCrop(0.25f, 0.25f, 0.5f, 0.5f, true, true);  // place mode
    ExpectMatrix2Near(MakeUvTransform(&map), Rows(1, 0, 0, -1, 0, 1));
    map.SetCrop(0.25f, 0.25f, 0.5f, 0.5f, false, false);  // not applied
    ExpectMatrix2Near(MakeUvTransform(&map), Rows(1, 0, 0, -1, 0, 1));

    // A mirror (or any map transform) replaces the crop.
    map.SetCrop(0.25f, 0.25f, 0.5f, 0.5f, true, false);
    map.tiling = kUMirror;
    ExpectMatrix2Near(MakeUvTransform(&map), Rows(2, 0, 0, -1, 0, 1));
}

TEST(UvTransform, HostUvTransformScalesAboutTheCentre) {
    const Matrix3 m = MakeHostUvTransform(Point2(0.1f, 0), Point2(2, 2), 0);
    const Point3 centre = m.PointTransform(Point3(0.5f, 0.5f, 0));
    EXPECT_NEAR(centre.x, 0.6f, 1e-6f);
    EXPECT_NEAR(centre.y, 0.5f, 1e-6f);
    const Point3 corner = m.PointTransform(Point3(1, 1, 0));
    EXPECT_NEAR(corner.x, 1.6f, 1e-6f);
    EXPECT_NEAR(corner.y, 1.5f, 1e-6f);
    const Matrix3 turned = MakeHostUvTransform(Point2(0, 0), Point2(1, 1), 90);
    const Point3 p = turned.PointTransform(Point3(1, 0.5f, 0));
    EXPECT_NEAR(p.x, 0.5f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);
}
