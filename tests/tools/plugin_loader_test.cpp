// Refusing plug-in modules that do not fit. (Every command test loads the built module.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tools/plover/plugin_loader.h"

namespace fs = std::filesystem;

TEST(PluginLoader, RefusesMissingAndForeignModules) {
    std::string error;
    EXPECT_FALSE(PluginModule::Load("/nonexistent/plover.dle", error));
    EXPECT_EQ(error, "plug-in module /nonexistent/plover.dle not found");

    const fs::path junk = fs::temp_directory_path() / "plover-junk.dle";
    std::ofstream(junk) << "not a shared object";
    error.clear();
    EXPECT_FALSE(PluginModule::Load(junk.string(), error));
    EXPECT_EQ(error.rfind("cannot load plug-in module " + junk.string() + ": ", 0), 0u) << error;
    fs::remove(junk);

    // A real shared object without the entry points.
    for (const char* lib : {"/lib/x86_64-linux-gnu/libz.so.1", "/usr/lib/x86_64-linux-gnu/libz.so.1"}) {
        if (!fs::exists(lib)) continue;
        error.clear();
        EXPECT_FALSE(PluginModule::Load(lib, error));
        EXPECT_EQ(error, std::string("plug-in module ") + lib + " does not export LibDescription");
        break;
    }
}
