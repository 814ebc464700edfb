// Every SQL text of the loader, in the SQL that SQLite and PostgreSQL both
// take ($1, $2 parameters), unless named for one of them; the tables are
// those of cdrschema.h.
#pragma once

#include <string>

namespace sql {

// Whether the database holds files of a site; the sites it holds.
inline constexpr const char* HASSITE = "SELECT 1 FROM cdr_file WHERE site = $1 LIMIT 1";
inline constexpr const char* SITES = "SELECT DISTINCT site FROM cdr_file ORDER BY site";
inline constexpr const char* STATES =
    "SELECT path, id, bytes, lines, generation, mtime_ns, head, tail FROM cdr_file"
    " WHERE site = $1";
// A file's record, made empty when missing: a file never read.
inline constexpr const char* NEWFILE =
    "INSERT INTO cdr_file (site, path, bytes, lines, generation, mtime_ns, head, tail)"
    " VALUES ($1, $2, 0, 0, 0, 0, '', '') ON CONFLICT (site, path) DO NOTHING";
#define LOADSQL_FILE                                                                   \
    "SELECT id, bytes, lines, generation, mtime_ns, head, tail FROM cdr_file"           \
    " WHERE site = $1 AND path = $2"
inline constexpr const char* FILESTATE = LOADSQL_FILE;
// PostgreSQL: the record stays locked until the file's transaction ends, so
// that two runs of one site never load a file at once.
inline constexpr const char* FILE_LOCKED = LOADSQL_FILE " FOR UPDATE";
inline constexpr const char* SETSTATE =
    "UPDATE cdr_file SET bytes = $2, lines = $3, generation = $4, mtime_ns = $5, head = $6,"
    " tail = $7 WHERE id = $1";
inline constexpr const char* CALLS =
    "SELECT first_party, second_party, dialled, end_secs, duration, meter, charge, type"
    " FROM cdr_call WHERE file = $1";

#define LOADSQL_CALLCOLUMNS                                                            \
    "file, generation, line, end_secs, first_party, second_party, dialled, duration,"   \
    " meter, charge, type"
// SQLite: n rows at a time, in the file's transaction.
inline std::string insert(int n)
{
    std::string q = "INSERT INTO cdr_call (" LOADSQL_CALLCOLUMNS ") VALUES ";
    for (int i = 0; i < n * 11; i++)
        q += (i % 11 ? ", $" : i ? "), ($" : "($") + std::to_string(i + 1);
    return q + ")";
}
// PostgreSQL: a file's rows are copied into a staging table of the
// connection, then put in whole; a line already there is left as it is.
inline constexpr const char* PG_STAGE =
    "CREATE TEMPORARY TABLE cdr_stage (file integer, generation integer, line integer,"
    " end_secs bigint, first_party text, second_party text, dialled text,"
    " duration integer, meter integer, charge text, type integer) ON COMMIT DELETE ROWS";
inline constexpr const char* PG_COPY =
    "COPY cdr_stage (" LOADSQL_CALLCOLUMNS ") FROM STDIN";
inline constexpr const char* PG_INSERT =
    "INSERT INTO cdr_call (" LOADSQL_CALLCOLUMNS ") SELECT " LOADSQL_CALLCOLUMNS
    " FROM cdr_stage ORDER BY line ON CONFLICT (file, generation, line) DO NOTHING";

}  // namespace sql
