#include "common/test_dirs.h"

namespace plover_test {
const char* TestDataDir() { return PLOVER_TEST_DATA_DIR_VALUE; }
const char* SourceDir() { return PLOVER_SOURCE_DIR_VALUE; }
const char* BinaryDir() { return PLOVER_BINARY_DIR_VALUE; }
}  // namespace plover_test
