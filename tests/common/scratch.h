// Scratch folders and whole-file reads shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// The whole file as bytes (empty when it cannot be read).
inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
