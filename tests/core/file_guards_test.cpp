// The guards for files a model names: image kinds from bytes, images of their names, folder
// trees that links and ".." must not leave, files that must not be opened.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "common/test_files.h"
#include "core/file_guards.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(FileGuards, ImageKindsComeFromTheBytes) {
    const struct {
        std::string bytes;
        const char* kind;
    } cases[] = {
        {"\x89PNG\r\n\x1a\n....", "png"}, {"\xff\xd8\xff\xe0", "jpg"}, {"GIF89a", "gif"},
        {"BM" + std::string(30, '\0'), "bmp"}, {"DDS |", "dds"}, {"II*\0"s, "tif"}, {"MM\0*"s, "tif"},
        {"RIFF\0\0\0\0WEBPVP8 "s, "webp"}, {"\xabKTX 20\xbb\r\n\x1a\n", "ktx2"}, {"#?RADIANCE\n", "hdr"},
        {"8BPS", "psd"}, {"\x76\x2f\x31\x01", "exr"},
        // TGA: no colour map, true colour, 2 x 1 pixels of 32 bits.
        {"\0\0\2\0\0\0\0\0\0\0\0\0\2\0\1\0\x20\0"s, "tga"},
        {"{\"asset\":{}}", ""}, {"glTF\2\0\0\0", ""}, {"BM", ""}, {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ImageExtensionOfBytes(c.bytes), c.kind) << c.bytes;

    ScratchDir dir;
    std::ofstream(dir.path() / "a.PNG") << "\x89PNG\r\n\x1a\n";
    std::ofstream(dir.path() / "b.jpeg") << "\xff\xd8\xff\xe1";
    std::ofstream(dir.path() / "c.png") << "\xff\xd8\xff\xe1";  // a JPEG named .png
    std::ofstream(dir.path() / "d.json") << "{}";
    EXPECT_TRUE(IsImageOfItsName((dir.path() / "a.PNG").string()));
    EXPECT_TRUE(IsImageOfItsName((dir.path() / "b.jpeg").string()));
    EXPECT_FALSE(IsImageOfItsName((dir.path() / "c.png").string()));
    EXPECT_FALSE(IsImageOfItsName((dir.path() / "d.json").string()));
    EXPECT_FALSE(IsImageOfItsName((dir.path() / "missing.png").string()));
}

TEST(FileGuards, FolderTreesLinksAndFilesThatAreNotRegular) {
    ScratchDir dir;
    const fs::path model = dir.path() / "model";
    fs::create_directories(model / "sub");
    std::ofstream(model / "sub" / "t.png") << "";
    std::ofstream(dir.path() / "outside.bin") << "";
    fs::create_symlink(dir.path() / "outside.bin", model / "out.bin");
    fs::create_symlink("sub/t.png", model / "in.png");
    fs::create_symlink("/nowhere/x.png", model / "dangling.png");
    const std::string folder = model.string();
    EXPECT_TRUE(IsInsideFolderTree((model / "sub" / "t.png").string(), folder));
    EXPECT_TRUE(IsInsideFolderTree((model / "sub" / ".." / "new.bin").string(), folder));
    EXPECT_TRUE(IsInsideFolderTree((model / "in.png").string(), folder + "/"));
    EXPECT_FALSE(IsInsideFolderTree((model / ".." / "outside.bin").string(), folder));
    EXPECT_FALSE(IsInsideFolderTree((model / "out.bin").string(), folder));
    EXPECT_FALSE(IsInsideFolderTree("/etc/passwd", folder));
    EXPECT_FALSE(IsInsideFolderTree((dir.path() / "model2" / "x").string(), folder));  // a prefix is no parent
    EXPECT_TRUE(IsLinkOutOfFolder((model / "out.bin").string(), folder));
    EXPECT_TRUE(IsLinkOutOfFolder((model / "dangling.png").string(), folder));
    EXPECT_FALSE(IsLinkOutOfFolder((model / "in.png").string(), folder));
    EXPECT_FALSE(IsLinkOutOfFolder((model / "sub" / "t.png").string(), folder));

    ASSERT_EQ(mkfifo((model / "pipe.bin").c_str(), 0600), 0);
    std::string cause;
    EXPECT_FALSE(IsRegularFileToRead((model / "pipe.bin").string(), &cause));
    EXPECT_EQ(cause, "is not a regular file");
    EXPECT_FALSE(IsRegularFileToRead("/dev/zero", &cause));
    EXPECT_FALSE(IsRegularFileToRead(folder, &cause));
    EXPECT_EQ(cause, "is a directory");
    EXPECT_TRUE(IsRegularFileToRead((model / "in.png").string(), &cause));

    FileSet files;
    files.Add((model / "sub" / "t.png").string());
    EXPECT_TRUE(files.Contains((model / "in.png").string()));  // the same file through a link
    EXPECT_FALSE(files.Contains((dir.path() / "outside.bin").string()));
}
