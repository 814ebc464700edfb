// The SL-1 X11 RX decoder: its line layout for the shared machine, the
// hand-over of charge lines to the charge queue, and its value for the
// frame. This exchange needs no hooks of its own: under -x they only show
// that the frame called them.
#include <cstdio>

#include "chargeq.h"
#include "decoders.h"
#include "linedecoder.h"
#include "settings.h"

// Without -M the first four digits are the access code the PABX prints
// before the number.
static int rxstripacc() { return opt.maskparity ? 0 : 4; }

static const linelayout rxlayout = {
    .anchor = 39,
    .lshift = 12,
    .party = {9, 17},
    .month = 37,
    .day = 40,
    .hour = 43,
    .colon = 45,
    .minute = 46,
    .secmark = -1,
    .second = 0,
    .durh = 49,
    .dot = 57,
    .digits = 58,
    .meter = 25,
    .chargetrunk = 18,
    .chargecode = 49,
    .startfirst = false,
    .mask89 = false,
    .stripacc = rxstripacc,
    .charge = chargeq_put,
    .release = chargeq_take,
};

static void init()
{
    if (opt.trace)
        fprintf(stderr, "DUMMY pabxdep_init()\n");
}

static void status(int changed)
{
    if (opt.trace)
        fprintf(stderr, "DUMMY pabxdep_status(%d)\n", changed);
}

// At exit the held call is released once; codes still queued belong to no
// call and are dropped.
const decoder sl1x11rxdecoder = linedecoder<rxlayout>("3.11 SL1X11RX   #19", 38, init, status);
