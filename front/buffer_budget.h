// The memory both drivers may give the buffers of one section.
#pragma once

#include <cstdint>

// Bytes the buffers of one section may take in all: the machine's memory.  A block
// beyond it cannot be served and is refused before anything moves.  UINT64_MAX when
// the machine does not say.
uint64_t sectionBufferBudget();
