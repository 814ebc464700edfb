// Fuzz target of morva-sl1x11rx: the shared harness with this program's
// decoder, whose charge queue lives on between records and so between inputs.
#include "chargeq.h"
#include "decoders.h"
#include "harness.h"

const decoder& prog_decoder() { return sl1x11rxdecoder; }

// The SL-1 X11 RX decoder has no setting of its own.
void prog_options(uint8_t) {}

void prog_reset()
{
    chargeq = chargequeue{};
}
