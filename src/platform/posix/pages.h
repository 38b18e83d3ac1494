// Pages of VirtualAlloc seen from the file calls (memory.cpp). Internal to
// src/platform/posix.
#pragma once

#include <cstddef>

namespace platform::detail {

// Readies [start, start + bytes) of a VirtualAlloc block for a large read
// about to fill it: backed by large pages and mapped in one call, instead
// of a zero-fill fault for every small page. Only whole large pages inside
// the block and the range are touched; anything else is left as it is.
void PrepareLargeFill(void* start, size_t bytes);

}  // namespace platform::detail
