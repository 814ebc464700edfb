// gencdr: fills a database of morva-cdrload with a seeded, realistic
// stream of calls for the report's benchmark, through the loader's own
// database code (the same tables and index).
//
//   gencdr [-s SEED] DATABASE FIRSTDAY DAYS CALLS
//
// CALLS calls over DAYS days from FIRSTDAY (YYYY-MM-DD): weekdays busy from
// 8 to 18 with peaks mid-morning and mid-afternoon, weekends quiet; 60 %
// outgoing, 25 % incoming, 12 % internal, 3 % tandem; stations 2100-2899,
// a both-way trunk group 4000-4059 and an incoming group 5000-5029; dialled
// numbers mostly from a pool of a few thousand, the rest all but unique,
// so that a year holds far more numbers than the top lists keep exactly.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "cdrdb.h"
#include "civil.h"
#include "splitmix.h"

namespace {

// Relative calls an hour of a weekday.
const double HOURLY[24] = {0.2, 0.1, 0.1, 0.1, 0.1, 0.3, 1,  4,  9,  12, 13, 11,
                           7,   9,   11,  10,  8,   5,   2,  1,  0.7, 0.5, 0.4, 0.3};

}  // namespace

int main(int argc, char** argv)
{
    uint64_t seed = 1;
    int c;
    while ((c = getopt(argc, argv, "s:")) != -1) {
        if (c != 's') {
            fprintf(stderr, "usage: gencdr [-s SEED] DATABASE FIRSTDAY DAYS CALLS\n");
            return 2;
        }
        seed = strtoull(optarg, nullptr, 10);
    }
    int y, m, d;
    if (argc - optind != 4 || sscanf(argv[optind + 1], "%d-%d-%d", &y, &m, &d) != 3) {
        fprintf(stderr, "usage: gencdr [-s SEED] DATABASE FIRSTDAY DAYS CALLS\n");
        return 2;
    }
    long ndays = atol(argv[optind + 2]);
    long long total = atoll(argv[optind + 3]);
    long long first = daysfromcivil(y, m, d);

    // Each day's share: a weekend day a tenth of a weekday.
    double weight = 0;
    for (long i = 0; i < ndays; i++)
        weight += (first + i + 3) % 7 >= 5 ? 0.1 : 1;
    double hoursum = 0;
    for (double h : HOURLY)
        hoursum += h;

    Rng rng{seed};
    try {
        auto db = opensqlite(argv[optind], "bench", 30000);
        FileState st = db->begin("bench");
        st.generation = 1;
        long long made = 0, line = 0;
        for (long i = 0; i < ndays; i++) {
            long long day = first + i;
            double share = ((day + 3) % 7 >= 5 ? 0.1 : 1) / weight;
            long long n = i + 1 == ndays ? total - made : llround(total * share);
            for (long long k = 0; k < n; k++) {
                // An hour by its weight, a moment within it.
                double pick = rng.below(1000000) / 1e6 * hoursum;
                int h = 0;
                while (h < 23 && (pick -= HOURLY[h]) > 0)
                    h++;
                long long end = (day * 24 + h) * 3600 + rng.below(3600) / 4 * 4;
                CdrRow r;
                std::string first, second, dialled;  // r's texts
                unsigned kind = rng.below(100);
                r.duration = long(rng.chance(50) ? rng.below(4 * 3600) : rng.below(900)) / 4 * 4;
                r.meter = 0;
                r.assisted = false;
                std::string station = std::to_string(2100 + rng.below(800));
                if (kind < 60) {
                    r.type = 1, r.direction = "out";
                    first = station;
                    second = std::to_string(4000 + rng.below(60));
                    unsigned pool = rng.below(10);
                    dialled = pool < 7 ? "0" + std::to_string(30000000 + rng.below(3000))
                                       : "0" + std::to_string(1 + rng.below(9)) + std::to_string(100000000 + line);
                    if (rng.chance(50))
                        dialled = "00" + dialled.substr(1);
                    if (rng.chance(10))
                        r.meter = long(1 + rng.below(200));
                } else if (kind < 85) {
                    r.type = 0x81, r.direction = "in";
                    first = std::to_string(rng.chance(500) ? 4000 + rng.below(60) : 5000 + rng.below(30));
                    second = station;
                } else if (kind < 97) {
                    r.type = 0x89, r.direction = "internal";
                    first = station;
                    second = std::to_string(2100 + rng.below(800));
                } else {
                    r.type = 3, r.direction = "tandem";
                    first = std::to_string(5000 + rng.below(30));
                    second = std::to_string(4000 + rng.below(60));
                    dialled = "0" + std::to_string(30000000 + rng.below(3000));
                }
                r.first = first;
                r.second = second;
                r.dialled = dialled;
                r.end = end;
                db->add(r, st.id, 1, ++line);
                made++;
            }
        }
        st.lines = line;
        db->commit(st);
        fprintf(stderr, "%lld calls\n", made);
    } catch (const DbError& e) {
        fprintf(stderr, "gencdr: %s\n", e.what());
        return 1;
    }
    return 0;
}
