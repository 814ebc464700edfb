// The tables morva-cdrload keeps and morva-report reads, the same in both
// back ends: cdr_file, one row per hourly file of a site with how far it
// was read; cdr_call, one row per call, naming its file by number; and the
// view cdr, each call with its site, file path and end time as text, the
// columns of the table cdr of schema 1. The version is SQLite's
// user_version, or the one row of cdr_schema in PostgreSQL.
#pragma once

inline constexpr int CDR_SCHEMA = 2;

// A call's direction is its type without the assisted bit 0x40, by this
// one table (type, CallDir, the view's name), which gives the loader's
// check of a line, the report's direction and the view's column: 01 and
// 02 outgoing, 03 tandem, 81 and 82 incoming, 89 internal (hexadecimal).
#define CDR_CALLTYPES(X)                                                               \
    X(1, Out, out) X(2, Out, out) X(3, Tandem, tandem) X(129, In, in) X(130, In, in)   \
    X(137, Internal, internal)

enum class CallDir { Out, In, Tandem, Internal };

struct CdrDirection {
    bool known;        // false: a type no CDR line has
    CallDir dir;
    const char* name;  // as the view names it
};

constexpr CdrDirection cdrdirection(long long type)
{
    switch (type & ~0x40LL) {
#define CDR_CASE(code, dir, name) case code: return {true, CallDir::dir, #name};
        CDR_CALLTYPES(CDR_CASE)
#undef CDR_CASE
    }
    return {false, CallDir::Out, nullptr};
}

// The same in SQL, kept by the view, not in every row (191 is ~0x40 in a
// byte).
#define CDR_WHEN(code, dir, name) " WHEN " #code " THEN '" #name "'"
#define CDR_DIRECTION "CASE c.type & 191" CDR_CALLTYPES(CDR_WHEN) " END"
#define CDR_VIEW(endtime)                                                              \
    "CREATE VIEW cdr AS SELECT c.id, f.site, c.first_party, c.second_party, c.dialled,"  \
    " " endtime " AS end_time, c.duration, c.meter, c.charge, c.type,"                 \
    " " CDR_DIRECTION " AS direction, (c.type & 64) / 64 AS assisted,"                 \
    " f.path AS src_file, c.generation AS src_gen, c.line AS src_line"                 \
    " FROM cdr_call c JOIN cdr_file f ON f.id = c.file"

// SQLite: cdr_file's numbers are never used again (AUTOINCREMENT), so that
// rows whose file record was deleted by hand never pass for another file's.
#define CDR_SQLITE_TABLES                                                              \
    "CREATE TABLE cdr_file ("                                                          \
    " id INTEGER PRIMARY KEY AUTOINCREMENT, site TEXT NOT NULL, path TEXT NOT NULL,"   \
    " bytes INTEGER NOT NULL, lines INTEGER NOT NULL, generation INTEGER NOT NULL,"   \
    " mtime_ns INTEGER NOT NULL, head BLOB NOT NULL, tail BLOB NOT NULL,"             \
    " UNIQUE (site, path));"                                                           \
    "CREATE TABLE cdr_call ("                                                          \
    " id INTEGER PRIMARY KEY, file INTEGER NOT NULL REFERENCES cdr_file (id),"        \
    " generation INTEGER NOT NULL, line INTEGER NOT NULL, end_secs INTEGER NOT NULL," \
    " first_party TEXT, second_party TEXT, dialled TEXT, duration INTEGER NOT NULL,"  \
    " meter INTEGER NOT NULL, charge TEXT, type INTEGER NOT NULL,"                    \
    " UNIQUE (file, generation, line));"
#define CDR_SQLITE_INDEX "CREATE INDEX cdr_call_end ON cdr_call (end_secs);"
#define CDR_SQLITE_VIEW CDR_VIEW("datetime(c.end_secs, 'unixepoch')") ";"

inline constexpr const char* CDR_SQLITE_SCHEMA =
    CDR_SQLITE_TABLES CDR_SQLITE_INDEX CDR_SQLITE_VIEW "PRAGMA user_version = 2;";

// Schema 1 to 2, in the loader's one transaction; $1 is the site the rows
// take. A file with rows but no record of how far it was read (deleted by
// hand) gets the record bytes -1: it is read again as a changed file. The
// index is made after the rows are in, which is faster.
inline constexpr const char* CDR_SQLITE_UPGRADE1[] = {
    CDR_SQLITE_TABLES,
    "INSERT INTO cdr_file (site, path, bytes, lines, generation, mtime_ns, head, tail)"
    " SELECT $1, path, bytes, lines, generation, mtime_ns, head, tail FROM loaded_file"
    " ORDER BY path",
    "INSERT INTO cdr_file (site, path, bytes, lines, generation, mtime_ns, head, tail)"
    " SELECT $1, src_file, -1, 0, max(src_gen), 0, x'', x'' FROM cdr"
    " WHERE src_file NOT IN (SELECT path FROM loaded_file) GROUP BY src_file ORDER BY src_file",
    "INSERT INTO cdr_call (id, file, generation, line, end_secs, first_party, second_party,"
    " dialled, duration, meter, charge, type)"
    " SELECT c.id, f.id, c.src_gen, c.src_line, CAST(strftime('%s', c.end_time) AS INTEGER),"
    " c.first_party, c.second_party, c.dialled, c.duration, c.meter, c.charge, c.type"
    " FROM cdr c JOIN cdr_file f ON f.site = $1 AND f.path = c.src_file ORDER BY c.id",
    "DROP TABLE cdr",
    "DROP TABLE loaded_file",
    CDR_SQLITE_INDEX,
    CDR_SQLITE_VIEW,
    "PRAGMA user_version = 2",
};

// PostgreSQL: made under an advisory lock (CDR_PG_LOCK), so that loaders of
// several sites starting at once against an empty database take turns.
// A row's key is (file, generation, line); its id only orders the rows as
// loaded, with no index of its own, and file refers to cdr_file without a
// foreign key: each would cost the load more than it takes without them.
inline constexpr const char* CDR_PG_LOCK = "SELECT pg_advisory_xact_lock(7228316415)";
inline constexpr const char* CDR_PG_HASVERSION = "SELECT to_regclass('cdr_schema') IS NOT NULL";
inline constexpr const char* CDR_PG_VERSION = "SELECT max(version) FROM cdr_schema";
inline constexpr const char* CDR_PG_SCHEMA =
    "CREATE TABLE cdr_schema (version integer NOT NULL);"
    "CREATE TABLE cdr_file ("
    " id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, site text NOT NULL,"
    " path text NOT NULL, bytes bigint NOT NULL, lines bigint NOT NULL,"
    " generation integer NOT NULL, mtime_ns bigint NOT NULL, head bytea NOT NULL,"
    " tail bytea NOT NULL, UNIQUE (site, path));"
    "CREATE TABLE cdr_call ("
    " id bigint GENERATED BY DEFAULT AS IDENTITY (CACHE 1000), file integer NOT NULL,"
    " generation integer NOT NULL, line integer NOT NULL, end_secs bigint NOT NULL,"
    " first_party text, second_party text, dialled text, duration integer NOT NULL,"
    " meter integer NOT NULL, charge text, type integer NOT NULL,"
    " UNIQUE (file, generation, line));"
    "CREATE INDEX cdr_call_end ON cdr_call (end_secs);"
    CDR_VIEW("to_timestamp(c.end_secs) AT TIME ZONE 'UTC'") ";"
    "INSERT INTO cdr_schema VALUES (2);";
