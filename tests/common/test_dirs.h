// Where the tests find their data and where they write. Every test file sees this header (the
// test library force-includes it), so the folders are compiled into one file only and the other
// test files compile to the same objects in every checkout, which a shared compiler cache reuses.
#pragma once

namespace plover_test {
const char* TestDataDir();  // tests/ in the source tree
const char* SourceDir();    // the source tree's top
const char* BinaryDir();    // the build tree's top
}  // namespace plover_test

#define PLOVER_TEST_DATA_DIR (::plover_test::TestDataDir())
#define PLOVER_SOURCE_DIR (::plover_test::SourceDir())
#define PLOVER_BINARY_DIR (::plover_test::BinaryDir())
