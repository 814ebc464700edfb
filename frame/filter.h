// The exclusion filter: the -e code and the -l/-h station range decide
// whether a call is left out of the CDR output.
#pragma once

#include <cstdint>

#include "record.h"

bool isexcluded(const callrec* rec);
// Orders three BCD bytes as six-digit numbers: -1, 0 or 1.
int comparebcd(const uint8_t* a, const uint8_t* b);
