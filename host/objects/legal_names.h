// The names a scene's clips and images take, whichever file they came from: legal as X file
// names and as file names.
#pragma once

#include <cstddef>
#include <string>

// The name an image stored in the file is written under, without extension: `name` (the image's
// name in the file or the path of its original file) without folders and extension, with every
// character other than letters, digits, '_', '-' and '.' made '_'; `fallback` when nothing is left.
std::string LegalImageName(const std::string& name, const std::string& fallback);

// The animation's name as a clip name: letters, digits and '_' only, not starting with a digit,
// at most 31 characters; "Anim<index + 1>" when nothing is left.
std::string LegalClipName(const std::string& name, size_t index);
