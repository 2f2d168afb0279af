#include "sdk/plugin.h"

#include <new>

void* MaxHeapOperators::operator new(size_t size) { return ::operator new(size); }
void MaxHeapOperators::operator delete(void* p) { ::operator delete(p); }
