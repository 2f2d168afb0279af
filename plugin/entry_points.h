// The module's entry points, exported by name with C linkage.
#pragma once

#include "sdk/plugin.h"

extern "C" {
const char* LibDescription();
int LibNumberClasses();
ClassDesc* LibClassDesc(int i);
unsigned long LibVersion();
}

// Signatures of the entry points, for hosts that resolve them by name.
using LibDescriptionFn = const char* (*)();
using LibNumberClassesFn = int (*)();
using LibClassDescFn = ClassDesc* (*)(int);
using LibVersionFn = unsigned long (*)();
using XDoExportFn = int (*)(const char*, ExpInterface*, Interface*, int, unsigned long);
