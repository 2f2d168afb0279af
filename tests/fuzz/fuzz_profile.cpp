// libFuzzer target for the initialisation file: any bytes load, read back and re-serialise
// without crashing, and a written profile reads back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "options/export_options.h"
#include "options/option_keys.h"
#include "options/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ProfileFile profile;
    profile.LoadFromText(bytes);
    for (const OptionKey& key : OptionKeyTable()) {
        (void)profile.GetInt(kOptionSection, key.name, key.intDefault);
        (void)profile.GetString(kOptionSection, key.name, "");
    }
    const std::string text = profile.ToText();
    ProfileFile again;
    again.LoadFromText(text);
    if (again.ToText() != text) std::abort();  // serialisation must be a fixed point
    return 0;
}
