// The loader's SQLite database: the cdr table of calls, and loaded_file,
// how far each hourly file has been read.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "cdrparse.h"

struct sqlite3;
struct sqlite3_stmt;

// Any failure of the database; its text names the database.
struct DbError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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
    // Opens or creates the database and its tables.
    explicit CdrDb(const std::string& path);
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
    struct Stmt;
    [[noreturn]] void fail();
    std::unique_ptr<Stmt> prepare(const char* sql);
    void exec(const char* sql);
    void close() noexcept;
    FileState readstate(Stmt& s, int from);

    std::string path_;
    sqlite3* db_ = nullptr;
    std::unique_ptr<Stmt> getstate_, putstate_, allstates_, insert_, lastgen_, calls_;
};
