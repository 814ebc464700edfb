// Erlang's loss formula (ITU-T E.520): the share of calls a group of n
// trunks loses when offered a erlangs, and its inverses.
#pragma once

// B(n, a) by the recurrence B(0) = 1, B(k) = a B(k-1) / (k + a B(k-1)),
// which stays within [0, 1] for any n.
double erlangb(int n, double a);

// The fewest trunks whose loss on a erlangs is at most gos (0 for none).
int trunksneeded(double a, double gos);

// The most traffic n trunks carry at a loss of at most gos.
double trafficfor(int n, double gos);
