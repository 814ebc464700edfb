// The charge queue of morva-sl1x11rx: charge lines wait here, 44 at most,
// until a call released on their trunk takes their code.
#include "linedecoder.h"

chgentry queue[QUESIZE];
uint8_t head, tail, que;

static uint8_t stepback(uint8_t i) { return i ? i - 1 : QUESIZE - 1; }
static uint8_t stepon(uint8_t i) { return i + 1 < QUESIZE ? i + 1 : 0; }

// Each digit keeps its column's place in the code; every other place is a
// blank, so nothing of an entry that stood in the slot before survives.
void questore(char* line)
{
    chgentry& e = queue[head];
    const char* code = line + 49 + ldo;
    for (int k = 0; k < 12; k++)
        e.code[k] = code[k] >= '0' && code[k] <= '9' ? code[k] : ' ';
    fixfld(line + 18, 6);
    packbcd(e.trunk, line + 18, 6);
    head = stepon(head);
    if (que == QUESIZE)
        tail = head;    // the oldest entry was just overwritten
    else
        que++;
}

// The oldest entry for the call's trunk gives its code; the newest entry
// moves into the freed slot so that the held slots stay in one run.
void quescan(callrec* rec)
{
    uint8_t i = tail;
    for (int n = 0; n < que; n++, i = stepon(i)) {
        if (queue[i].trunk[0] != rec->trunk[0] || queue[i].trunk[1] != rec->trunk[1] ||
            queue[i].trunk[2] != rec->trunk[2])
            continue;
        setcharge(rec, queue[i].code, 12);
        head = stepback(head);
        que--;
        if (que)
            queue[i] = queue[head];
        return;
    }
}
