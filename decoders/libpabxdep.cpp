// The PABX hooks of morva-sl1x11rx: this exchange needs none, so they only
// show under -x that the frame called them.
#include "morva.h"

#include <cstdio>

void pabxdep_init()
{
    if (opt.trace) {
        fprintf(stderr, "DUMMY pabxdep_init()\n");
        fflush(stderr);
    }
}

void pabxdep_status(int changed)
{
    if (opt.trace) {
        fprintf(stderr, "DUMMY pabxdep_status(%d)\n", changed);
        fflush(stderr);
    }
}
