// The tables morva-cdrload keeps and morva-report reads: the version
// number in PRAGMA user_version, and the statements that make them.
#pragma once

inline constexpr int CDR_SCHEMA = 1;

inline constexpr const char* CDR_TABLES = R"(
CREATE TABLE IF NOT EXISTS cdr (
    id INTEGER PRIMARY KEY,
    first_party TEXT,
    second_party TEXT,
    dialled TEXT,
    end_time TEXT NOT NULL,
    duration INTEGER NOT NULL,
    meter INTEGER NOT NULL,
    charge TEXT,
    type INTEGER NOT NULL,
    direction TEXT NOT NULL,
    assisted INTEGER NOT NULL,
    src_file TEXT NOT NULL,
    src_gen INTEGER NOT NULL,
    src_line INTEGER NOT NULL,
    UNIQUE (src_file, src_gen, src_line)
);
CREATE INDEX IF NOT EXISTS cdr_end_time ON cdr (end_time);
CREATE TABLE IF NOT EXISTS loaded_file (
    path TEXT PRIMARY KEY,
    bytes INTEGER NOT NULL,
    lines INTEGER NOT NULL,
    generation INTEGER NOT NULL,
    mtime_ns INTEGER NOT NULL,
    head BLOB NOT NULL,
    tail BLOB NOT NULL
);
)";
