// The entry point of the module plover_preview.so, which the command loads when it is asked for
// a picture: Mesa and its compiler are loaded by no other command.
#include <exception>

#include "preview/preview.h"

extern "C" int PloverPreviewXFile(const char* path, const preview::PreviewOptions* options, std::vector<uint8_t>* png,
                                  std::vector<std::string>* warnings, std::string* error) {
    try {
        return static_cast<int>(preview::PreviewXFile(path, *options, png, warnings, error));
    } catch (const std::bad_alloc&) {
        *error = std::string(path) + ": not enough memory to draw it";
    } catch (const std::exception& e) {
        *error = std::string(path) + ": " + e.what();
    }
    return static_cast<int>(preview::PreviewStatus::NotDrawn);
}
