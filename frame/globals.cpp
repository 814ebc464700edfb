// The buffers and counter the frame and the decoders share.
#include "morva.h"

pakops pakrop;
uint8_t rawbuf[256];
datetime real_time_rec;
callrec pkcall;
