// The decoders there are: each program's main hands its own to the frame.
#pragma once

#include <cstdint>

#include "decoder.h"

extern const decoder sl1x11rxdecoder;   // morva-sl1x11rx (sl1x11rx.cpp)
extern const decoder sl1xdecoder;       // morva-sl1x (sl1x.cpp)

// The leading dialled digits morva-sl1x drops: 4, or STRIPACC from the
// environment at its start.
extern uint8_t sl1xstripacc;
