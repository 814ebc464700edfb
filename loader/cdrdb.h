// The loader's SQLite database: the cdr table of calls, and loaded_file,
// how far each hourly file has been read.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "cdrparse.h"
#include "sqlitedb.h"

// How far a file has been read, and what to know it again by.
struct FileState {
    long long bytes = 0;       // read up to here: the end of a whole line
    long long lines = 0;       // whole lines read, loaded or not
    long long generation = 0;  // 1 for the first file at the path, then +1 per change
    long long mtime_ns = 0;    // modification time when last read
    std::string head, tail;    // the first and last bytes (at most 128) before bytes
};

class CdrDb {
public:
    // Opens or creates the database and its tables, in WAL mode, so that
    // readers and the loader never wait for each other. A lock held by
    // another process is waited for up to busy_ms, then reported with who
    // holds it.
    explicit CdrDb(const std::string& path, int busy_ms = 30000);
    ~CdrDb();
    CdrDb(const CdrDb&) = delete;
    CdrDb& operator=(const CdrDb&) = delete;

    std::map<std::string, FileState> states();
    bool state(const std::string& rel, FileState& st);
    void setstate(const std::string& rel, const FileState& st);
    void insert(const CdrRow& row, const std::string& rel, long long gen, long long line);
    // The last generation of rows loaded from rel, 0 when there are none.
    long long lastgen(const std::string& rel);
    // How many rows loaded from rel there are of each call (CdrRow::key).
    std::unordered_map<std::string, int> calls(const std::string& rel);

    // One transaction per file; IMMEDIATE so that a second loader waits
    // before it reads how far the file was read.
    void begin();
    void commit();
    void rollback() noexcept;

private:
    using Stmt = SqliteDb::Stmt;
    void setjournal();
    FileState readstate(Stmt& s, int from);

    // The connection first: the statements go before it closes.
    SqliteDb db_;
    std::unique_ptr<Stmt> getstate_, putstate_, allstates_, insert_, lastgen_, calls_;
};
