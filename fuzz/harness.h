// What the shared fuzz harness (harness.cpp) asks of each program's target.
#pragma once

#include <cstdint>

#include "decoder.h"

// This program's decoder.
const decoder& prog_decoder();
// This program's own settings from the third option byte.
void prog_options(uint8_t b);
// This program's decoder state back to that of a fresh start.
void prog_reset();
