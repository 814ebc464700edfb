// A decoder that decodes nothing, for unit tests of the frame alone.
#include "morva.h"

const unsigned char etx = 0x0a;
const unsigned char petx = 38;
const char pakver[20] = "3.11 TESTDEC     #0";

int packrec(callrec*) { return 0; }
int dequeue(callrec*) { return 0; }
void pabxdep_init() {}
void pabxdep_status(int) {}
