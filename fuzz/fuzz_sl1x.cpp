// Fuzz target of morva-sl1x: the shared harness with this program's decoder,
// with STRIPACC taken from the program's option byte.
#include "decoders.h"
#include "harness.h"

// The default, typical site values, the dialled field's width and either
// side of it, and the values atoi256 can leave from a wild STRIPACC.
static const uint8_t stripaccs[8] = {4, 0, 1, 9, 24, 25, 200, 255};

const decoder& prog_decoder() { return sl1xdecoder; }

void prog_options(uint8_t b) { sl1xstripacc = stripaccs[b & 7]; }

void prog_reset() { sl1xstripacc = 4; }
