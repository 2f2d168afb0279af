// Sample object trees for the X file layer's tests: each is written through the save layer's
// public operations, as the exporter does.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xformat/xfile_format.h"
#include "xformat/xreader.h"
#include "xformat/xresult.h"
#include "xformat/xsave.h"

namespace xfile_test {

// A material with texture and effect children, a frame hierarchy with a skinned mesh
// (normals, texture coordinates, vertex colours, material list with a reference, skin
// header and weights), a second mesh with DeclData, AnimTicksPerSecond and an animation set
// with rotation, scale, position and matrix keys.
xfile::XResult WriteSampleScene(xfile::XSaveObject& save);

// Edge cases: names that need mapping, empty arrays, a string with a double quote,
// negative zero, large and small floats, an empty top-level object name.
xfile::XResult WriteSampleEdges(xfile::XSaveObject& save);

using SampleWriter = std::function<xfile::XResult(xfile::XSaveObject&)>;

// Registers the published sets, writes one sample in `format` into memory; fails the
// current test on any error.
std::vector<uint8_t> SaveSample(SampleWriter writer, xfile::XFileFormat format);

// The same objects, names, nesting and templates; payload bytes too unless exactPayloads is
// false (text's six-decimal floats are compared through the golden text instead).
void ExpectSameTree(const xfile::XDocument& actual, const xfile::XDocument& expected, bool exactPayloads = true);

// Writes every object and reference of a document read by ReadXFile, in order, as a text file;
// fails the current test on any error.
std::vector<uint8_t> RewriteAsText(const xfile::XDocument& doc);

std::vector<uint8_t> ReadFileBytes(const std::string& path);

// The object tree of X file bytes as `plover inspect` prints it, one object a line indented by
// depth, without the header line and the payload sizes; the decoded fields are kept only for
// the templates named in withFields. Fails the current test when the bytes cannot be read.
std::string Outline(std::span<const uint8_t> bytes, std::initializer_list<std::string_view> withFields = {});

}  // namespace xfile_test
