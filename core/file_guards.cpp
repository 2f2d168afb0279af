#include "core/file_guards.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

bool StartsWith(std::string_view bytes, std::string_view signature) {
    return bytes.size() >= signature.size() && bytes.substr(0, signature.size()) == signature;
}

// A TGA file has no signature; its header's colour map type, image type and pixel depth take
// only a few values.
bool LooksLikeTga(std::string_view h) {
    if (h.size() < 18) return false;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(h[i]); };
    const unsigned colourMap = byte(1), type = byte(2), depth = byte(16);
    const bool knownType = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    const bool knownDepth = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    const unsigned width = byte(12) | (byte(13) << 8), height = byte(14) | (byte(15) << 8);
    return colourMap <= 1 && knownType && knownDepth && width > 0 && height > 0;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string ImageExtensionOfBytes(std::string_view h) {
    using namespace std::string_view_literals;
    if (StartsWith(h, "\x89PNG\r\n\x1a\n"sv)) return "png";
    if (StartsWith(h, "\xff\xd8\xff"sv)) return "jpg";
    if (StartsWith(h, "GIF87a"sv) || StartsWith(h, "GIF89a"sv)) return "gif";
    if (StartsWith(h, "BM"sv) && h.size() >= 26) return "bmp";
    if (StartsWith(h, "DDS "sv)) return "dds";
    if (StartsWith(h, "II*\0"sv) || StartsWith(h, "MM\0*"sv)) return "tif";
    if (StartsWith(h, "RIFF"sv) && h.size() >= 12 && h.substr(8, 4) == "WEBP"sv) return "webp";
    if (StartsWith(h, "\xabKTX 11\xbb\r\n\x1a\n"sv)) return "ktx";
    if (StartsWith(h, "\xabKTX 20\xbb\r\n\x1a\n"sv)) return "ktx2";
    if (StartsWith(h, "#?RADIANCE"sv) || StartsWith(h, "#?RGBE"sv)) return "hdr";
    if (StartsWith(h, "8BPS"sv)) return "psd";
    if (StartsWith(h, "\x76\x2f\x31\x01"sv)) return "exr";
    if (h.size() >= 4 && h[0] == '\x0a' && static_cast<unsigned char>(h[1]) <= 5 && h[2] == 1) return "pcx";
    if (StartsWith(h, "\x01\xda"sv)) return "sgi";
    if (h.size() >= 3 && h[0] == 'P' && h[1] >= '1' && h[1] <= '6' && std::isspace(static_cast<unsigned char>(h[2])))
        return "pnm";
    if (LooksLikeTga(h)) return "tga";
    return {};
}

bool IsImageOfItsName(const std::string& path) {
    std::string extension = Lower(fs::path(path).extension().string());
    if (extension.empty()) return false;
    extension.erase(0, 1);
    if (extension == "jpeg") extension = "jpg";
    if (extension == "tiff") extension = "tif";
    if (extension == "rgb" || extension == "rgba" || extension == "bw") extension = "sgi";
    if (extension == "ppm" || extension == "pgm" || extension == "pbm") extension = "pnm";
    if (!IsRegularFileToRead(path)) return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char head[32];
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    const std::string kind = ImageExtensionOfBytes(std::string_view(head, got));
    return !kind.empty() && kind == extension;
}

bool SameContent(const std::string& a, const std::string& b) {
    std::error_code ec, ec2;
    if (!fs::is_regular_file(a, ec) || !fs::is_regular_file(b, ec2) || fs::file_size(a, ec) != fs::file_size(b, ec2) ||
        ec || ec2)
        return false;
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = fa ? std::fopen(b.c_str(), "rb") : nullptr;
    bool same = fa && fb;
    char ba[65536], bb[65536];
    while (same) {
        const size_t na = std::fread(ba, 1, sizeof ba, fa), nb = std::fread(bb, 1, sizeof bb, fb);
        same = na == nb && std::memcmp(ba, bb, na) == 0;
        if (na < sizeof ba) break;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return same;
}

bool IsRegularFileToRead(const std::string& path, std::string* cause) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    const char* problem = nullptr;
    if (status.type() == fs::file_type::not_found) problem = "no such file";
    else if (ec) problem = "cannot be read";
    else if (status.type() == fs::file_type::directory) problem = "is a directory";
    else if (status.type() != fs::file_type::regular) problem = "is not a regular file";
    if (problem && cause) *cause = problem;
    return problem == nullptr;
}

bool IsInsideFolderTree(const std::string& path, const std::string& folder) {
    std::error_code ec;
    const fs::path base = fs::weakly_canonical(fs::absolute(folder.empty() ? "." : folder, ec), ec);
    if (ec) return false;
    const fs::path file = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) return false;
    auto b = base.begin(), f = file.begin();
    for (; b != base.end(); ++b, ++f) {
        if (b->empty() && std::next(b) == base.end()) break;  // a trailing separator
        if (f == file.end() || *b != *f) return false;
    }
    return true;
}

bool IsLinkOutOfFolder(const std::string& path, const std::string& folder) {
    fs::path current(path);
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(current, ec))) return false;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(current, ec)); ++hops) {
        const fs::path link = fs::read_symlink(current, ec);
        if (ec) return true;
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    if (fs::is_symlink(fs::symlink_status(current, ec))) return true;  // a loop of links
    return !IsInsideFolderTree(current.string(), folder);
}

void FileSet::Add(const std::string& path) {
    if (path.empty()) return;
#ifdef _WIN32
    std::error_code ec;
    const fs::path canonical = fs::canonical(path, ec);
    if (!ec) files_.insert(Lower(canonical.string()));
#else
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) files_.emplace(uint64_t(info.st_dev), uint64_t(info.st_ino));
#endif
}

bool FileSet::Contains(const std::string& path) const {
    if (path.empty() || files_.empty()) return false;
#ifdef _WIN32
    std::error_code ec;
    const fs::path canonical = fs::canonical(path, ec);
    return !ec && files_.count(Lower(canonical.string())) > 0;
#else
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && files_.count({uint64_t(info.st_dev), uint64_t(info.st_ino)}) > 0;
#endif
}
