// Erlang B and its inverses.
#include "erlang.h"

double erlangb(int n, double a)
{
    double b = 1.0;
    for (int k = 1; k <= n; k++)
        b = a * b / (k + a * b);
    return b;
}

int trunksneeded(double a, double gos)
{
    if (a <= 0)
        return 0;
    double b = 1.0;
    int n = 0;
    // B falls with every trunk added, below any gos > 0 at last.
    while (b > gos) {
        n++;
        b = a * b / (n + a * b);
    }
    return n;
}

double trafficfor(int n, double gos)
{
    if (n <= 0)
        return 0;
    // B rises with the traffic: halve the interval in which it crosses gos.
    double lo = 0, hi = n + 1.0;
    while (erlangb(n, hi) <= gos)
        hi *= 2;
    for (int i = 0; i < 100; i++) {
        double mid = (lo + hi) / 2;
        (erlangb(n, mid) <= gos ? lo : hi) = mid;
    }
    return lo;
}
