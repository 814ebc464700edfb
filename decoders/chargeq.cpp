// The charge queue of morva-sl1x11rx.
#include "chargeq.h"

#include <cstring>

chargequeue chargeq;

static uint8_t stepback(uint8_t i) { return i ? i - 1 : CHARGESLOTS - 1; }
static uint8_t stepon(uint8_t i) { return i + 1 < CHARGESLOTS ? i + 1 : 0; }

// Each digit keeps its column's place in the code; every other place is a
// blank, so nothing of an entry that stood in the slot before survives.
void chargeq_put(const uint8_t* trunk, const char* code)
{
    chargequeue& q = chargeq;
    chargeentry& e = q.slot[q.head];
    for (int k = 0; k < 12; k++)
        e.code[k] = code[k] >= '0' && code[k] <= '9' ? code[k] : ' ';
    std::memcpy(e.trunk, trunk, sizeof e.trunk);
    q.head = stepon(q.head);
    if (q.count == CHARGESLOTS)
        q.tail = q.head;    // the oldest entry was just overwritten
    else
        q.count++;
}

// The newest entry moves into the freed slot, so that the entries held stay
// in one run of slots.
void chargeq_take(callrec* rec)
{
    chargequeue& q = chargeq;
    uint8_t i = q.tail;
    for (int n = 0; n < q.count; n++, i = stepon(i)) {
        if (std::memcmp(q.slot[i].trunk, rec->trunk, sizeof rec->trunk) != 0)
            continue;
        setcharge(rec, q.slot[i].code, 12);
        q.head = stepback(q.head);
        q.count--;
        if (q.count)
            q.slot[i] = q.slot[q.head];
        return;
    }
}
