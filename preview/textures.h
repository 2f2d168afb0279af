// The textures a draw model's materials name, found beside the X file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "preview/canvas.h"
#include "preview/draw_model.h"

namespace preview {

struct TextureSet {
    std::vector<std::unique_ptr<Image>> images;  // one per distinct file, plus the flat stand-in
    std::vector<const Image*> perMaterial;       // null: the material names no texture
};

// Loads the texture of every material that names one. A name is looked up as written (either
// separator) below `folder`, then as its bare file name in `folder`. Without allowOutside,
// nothing outside `folder`'s tree is read (absolute names, "..", links leading out), so a model
// cannot make the preview read other files. A texture that cannot be had is drawn in a flat
// magenta, the colour engines of the time gave a missing texture, and named in a warning.
TextureSet LoadTextures(const DrawModel& model, const std::string& folder, bool allowOutside,
                        std::vector<std::string>* warnings);

}  // namespace preview
