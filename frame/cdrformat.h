// The CDR line of a packed call, and the listing of a packed record that -X
// prints.
#pragma once

#include <cstddef>

#include "clock.h"
#include "record.h"

// ":first|second|dialled|DDMMYYhhmmss|duration|meter|charge|type\n": the
// date and time are those of the call's end, which the store files it by.
struct cdrline {
    char text[83];   // the longest line is 82 characters; then a NUL
    size_t len;
    datetime end;
};
cdrline formatcdr(const callrec* rec);

// Prints the packed record byte by byte and field by field.
void listcall(const callrec* rec);

// The FUJ9600Lt8 exchange prints trunk numbers whose second digit counts
// groups of eight. A build whose version tag names it rewrites them from its
// first trunk number on; cdrformat_start tells the tag.
void cdrformat_start(const char* versiontag);
bool groupsofeighttag(const char* tag);
extern bool groupsofeight;       // set at the first rewrite, never cleared
// " d1 d2 d3..d6" becomes "d1 (8*d2 as two digits) d3..d6", in place.
void regroup(char* number);
