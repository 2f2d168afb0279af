// Name helpers for the X file.
#pragma once

#include <string>
#include <string_view>

// Makes a name usable in the X file: "_" is put before a leading ASCII digit, the result is
// cut to 255 characters, '"' becomes '\'', "-", "_", ASCII digits and letters stay, every other
// byte becomes "_".
std::string SanitizeXName(std::string_view text);

// The first 255 characters of text without their blanks.
std::string RemoveSpaces(std::string_view text);
