// Nesting depth of a model file, found before the file reaches Assimp.
//
// Assimp's readers descend recursively into every nested scope of a file (frames and data
// objects in an X file, node records in FBX, elements in XML formats such as COLLADA and X3D),
// one stack frame or more per level, so a file nested a few hundred thousand levels deep
// overflows the stack and kills the process. This scan reads the file once, without recursion,
// and reports nesting beyond a limit that no real model comes near:
//   - binary FBX: node records inside node records;
//   - X files: braces in text, brace tokens in binary, and either inside MSZIP-compressed data;
//   - other text: XML elements when the file starts as XML, otherwise braces (FBX ASCII,
//     ASE, OpenGEX and similar), outside quoted strings and comments.
// Binary files of other kinds are not scanned.
#pragma once

#include <cstdint>
#include <string>

#include "host/import/import_limits.h"

// Empty when the file nests no deeper than `limit`, or cannot be scanned; otherwise the problem,
// naming where the limit is passed (a line in text, a byte offset in binary data).
std::string FindDeepModelNesting(const std::string& path, int limit = kMaxModelNesting);
