// Incremental loading of a CDR tree: each hourly file's new whole lines and
// how far it was read go into the database in one transaction per file.
#pragma once

#include <ostream>
#include <string>

#include "cdrdb.h"
#include "hourtree.h"

// The bad lines of a file named one by one in a run; the rest are counted.
constexpr long long MAXBAD = 100;

// What a run did, as committed, for its summary.
struct Tally {
    long long files = 0;  // hourly files read (one with nothing new is not)
    long long rows = 0;   // rows loaded
    long long bad = 0;    // bad lines found
};

// Loads the new lines of one hourly file. Unreadable lines, and a file that
// cannot be read, are reported on err; then it returns false.
bool loadhour(CdrDb& db, const std::string& root, const HourFile& f, std::ostream& err,
              Tally& tally);

// Loads every hourly file under root: 0 when all was loaded, 1 when some
// line or file could not be read (each is named on err). A database failure
// is thrown as DbError.
int loadtree(CdrDb& db, const std::string& root, std::ostream& err, Tally& tally);
