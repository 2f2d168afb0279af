// Fuzz target for the scene document loader: any bytes must give a scene or an error message,
// never a crash; whatever loads must also write back and load again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/document/scene_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    std::unique_ptr<HostScene> scene = LoadSceneDocumentFromString(text, "fuzz.json", error);
    if (!scene) {
        if (error.empty()) std::abort();  // a rejection always says why
        return 0;
    }
    const std::string saved = SaveSceneDocument(*scene);
    std::unique_ptr<HostScene> again = LoadSceneDocumentFromString(saved, "saved.json", error);
    if (!again || SaveSceneDocument(*again) != saved) std::abort();  // the round trip is exact
    return 0;
}
