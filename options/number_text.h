// Numbers as text, the same on every machine: no locale, no platform printf.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// value in the form of printf's "%g" (six significant digits, no trailing zeros, exponent form
// below 1e-4 and from 1e6): 0.5 -> "0.5", 1.0 -> "1", 0.00001 -> "1e-05".
std::string FormatG(double value);

// The number at the start of text, as the C library's text-to-double conversion reads it: leading
// white space, optional sign, digits with an optional '.' and exponent; the rest is ignored.
// Text that does not start with a number gives 0; so do infinities, NaN and values that overflow,
// because no option can use them.
double ParseLeadingDouble(std::string_view text);

// ParseLeadingDouble narrowed to float; a value beyond the float range gives 0 as well.
float ParseLeadingFloat(std::string_view text);

// The integer at the start of text, as the C library's text-to-int conversion reads it: leading
// white space, optional sign, decimal digits; the rest is ignored. Saturates at the int32 limits.
int32_t ParseLeadingInt(std::string_view text);

// Strict forms for values typed on the command line: the whole text (blanks around it allowed)
// must be the number. False for anything else, including out-of-range integers and non-finite
// floats.
bool ParseWholeInt(std::string_view text, int32_t& value);
bool ParseWholeFloat(std::string_view text, float& value);
