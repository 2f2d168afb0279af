#include "plugin/entry_points.h"

#include "plugin/plover_exp.h"

extern "C" {

const char* LibDescription() { return kLibDescription; }

int LibNumberClasses() { return 1; }

ClassDesc* LibClassDesc(int i) { return i == 0 ? &ThePloverClassDesc() : nullptr; }

unsigned long LibVersion() { return kMaxApiVersion; }

}
