// The SL-1 X11 RX decoder: its line layout for the shared machine, its build
// constants, and the hand-over of charge lines to the charge queue.
#include "linedecoder.h"

const unsigned char etx = 0x0a;
const unsigned char petx = 38;
const char pakver[20] = "3.11 SL1X11RX   #19";

// Without -M the first four digits are the access code the PABX prints
// before the number.
static int rxstripacc() { return opt.maskparity ? 0 : 4; }

static const linelayout rxlayout = {
    .anchor = 39,
    .lcol = 51,
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
    .startfirst = false,
    .mask89 = false,
    .stripacc = rxstripacc,
    .charge = questore,
    .release = quescan,
};

int packrec(callrec* rec) { return linepack(rxlayout, rec); }

// At exit the held call is delivered once; codes still queued belong to no
// call and are dropped.
int dequeue(callrec* rec) { return linedrain(rxlayout, rec); }
