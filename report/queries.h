// Every SQL text of the report, written for the tables of morva-cdrload
// (cdrschema.h) in the SQL that SQLite and PostgreSQL both take ($1, $2
// parameters; end times in seconds of the exchange's clock), unless named
// for one of them.
#pragma once

#include <string>

namespace sql {

inline constexpr const char* SITES = "SELECT DISTINCT site FROM cdr_file ORDER BY site";
inline constexpr const char* FILES = "SELECT id, site FROM cdr_file";

// Restricts a query of cdr_call to the n sites given as parameters from
// $first on.
inline std::string onsites(std::string q, size_t first, size_t n)
{
    if (n == 0)
        return q;
    q += " AND file IN (SELECT id FROM cdr_file WHERE site IN (";
    for (size_t i = 0; i < n; i++)
        q += (i ? ", $" : "$") + std::to_string(first + i);
    return q + "))";
}

// The calls that ended in [$1, $2): the index on end_secs gives the order,
// the id breaks ties the same way every time.
inline std::string calls(size_t nsites)
{
    return onsites("SELECT file, first_party, second_party, dialled, end_secs, duration, meter,"
                   " type FROM cdr_call WHERE end_secs >= $1 AND end_secs < $2",
                   3, nsites) +
           " ORDER BY end_secs, id";
}

// The end of the newest call before $1.
inline std::string newest(size_t nsites)
{
    return onsites("SELECT max(end_secs) FROM cdr_call WHERE end_secs < $1", 2, nsites);
}

// PostgreSQL: the calls through a cursor, a batch at a time, in a
// transaction that sees the database as it was at its start.
inline constexpr const char* PG_BEGIN = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
inline constexpr const char* PG_DECLARE = "DECLARE calls NO SCROLL CURSOR FOR ";
inline constexpr const char* PG_FETCH = "FETCH 20000 FROM calls";
inline constexpr const char* PG_CLOSE = "CLOSE calls";

}  // namespace sql
