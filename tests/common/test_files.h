// Scratch folders, whole-file reads and golden-file comparisons shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// The whole file as bytes (empty when it cannot be read).
inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Compares bytes with the golden file at `relative` below tests/; PLOVER_UPDATE_GOLDEN=1 rewrites
// the file instead. A mismatch names the first differing line and saves the actual bytes in the
// build tree for review.
inline void ExpectGolden(std::string_view actual, const std::string& relative) {
    namespace fs = std::filesystem;
    const fs::path golden = fs::path(PLOVER_TEST_DATA_DIR) / relative;
    if (const char* update = std::getenv("PLOVER_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(golden, std::ios::binary) << actual;
        return;
    }
    ASSERT_TRUE(fs::exists(golden)) << "missing " << golden << " (PLOVER_UPDATE_GOLDEN=1 creates it)";
    const std::string expected = ReadText(golden);
    if (actual == expected) return;
    const fs::path saved = fs::path(PLOVER_BINARY_DIR) / "golden-actual" / relative;
    fs::create_directories(saved.parent_path());
    std::ofstream(saved, std::ios::binary) << actual;
    std::istringstream a{std::string(actual)}, e(expected);
    std::string la, le;
    int line = 1;
    while (std::getline(a, la) && std::getline(e, le) && la == le) ++line;
    ADD_FAILURE() << relative << " differs at line " << line << "\n  expected: " << le << "\n  actual:   " << la
                  << "\n  actual file saved as " << saved;
}
inline void ExpectGolden(const std::vector<uint8_t>& actual, const std::string& relative) {
    ExpectGolden(std::string_view(reinterpret_cast<const char*>(actual.data()), actual.size()), relative);
}

// A folder under the build tree, emptied when made and removed with the object. Named after
// the running test unless told otherwise, so tests that ctest runs side by side never share one.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name = TestName())
        : path_(std::filesystem::path(PLOVER_BINARY_DIR) / "test_scratch" / name) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as the exporter keeps it: ending in a separator.
    std::string dir() const { return path_.string() + "/"; }
    // Writes a file below the folder, making its folders; returns its path.
    std::string Touch(const std::string& relative, const std::string& content = "x") const {
        const auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }

    static std::string TestName() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "outside_a_test";
        for (char& c : name)
            if (c == '/') c = '_';
        return name;
    }

private:
    std::filesystem::path path_;
};
