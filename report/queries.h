// Every SQL text of the report, written for the table cdr of morva-cdrload
// in the SQL that SQLite and PostgreSQL both take ($1, $2 parameters; end
// times compared as 'YYYY-MM-DD hh:mm:ss').
#pragma once

namespace sql {

// The calls that ended in [$1, $2): the index on end_time gives the order,
// the id breaks ties the same way every time.
inline constexpr const char* CALLS =
    "SELECT first_party, second_party, dialled, end_time, duration, meter, type, direction"
    " FROM cdr WHERE end_time >= $1 AND end_time < $2 ORDER BY end_time, id";

// The end of the newest call, then of the newest call before $1.
inline constexpr const char* NEWEST = "SELECT max(end_time) FROM cdr";
inline constexpr const char* NEWEST_BEFORE = "SELECT max(end_time) FROM cdr WHERE end_time < $1";

}  // namespace sql
