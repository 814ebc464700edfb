// One SQLite connection through SQLite's C API, shared by the loader and the
// report: prepared statements only, every call checked, any failure thrown
// as a DbError that names the database and what went wrong.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Any failure of the database; its text names the database.
struct DbError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class SqliteDb {
public:
    // Opens path read-write (made when missing) or read-only. A lock held by
    // another process is waited for up to busy_ms, then reported with who
    // holds it.
    SqliteDb(const std::string& path, bool readonly, int busy_ms);
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // A prepared statement. Parameters are bound in order; step() says
    // whether there is a row and resets the statement at the end.
    class Stmt {
    public:
        explicit Stmt(SqliteDb& db) : owner(db) {}
        ~Stmt();
        Stmt(const Stmt&) = delete;
        Stmt& operator=(const Stmt&) = delete;

        Stmt& text(std::string_view v, bool emptyisnull = false);
        // Without a copy: v must stay as it is until step().
        Stmt& ref(std::string_view v, bool emptyisnull = false);
        Stmt& blob(const std::string& v);
        Stmt& integer(long long v);
        bool step();
        void done();
        std::string coltext(int i) { return std::string(colview(i)); }
        // The column's bytes, valid until the next step; empty for NULL.
        std::string_view colview(int i);
        long long colint(int i);

    private:
        friend class SqliteDb;
        void check(int rc);
        void number();
        int slot();
        SqliteDb& owner;
        sqlite3_stmt* s = nullptr;
        int next = 0;  // the parameter bind fills next
        // SQLite's index of $1, $2, ...: it numbers parameters in the order
        // they first appear in the text, not by their names.
        std::vector<int> slots;
    };

    std::unique_ptr<Stmt> prepare(const char* sql);
    void exec(const char* sql);
    // Each statement of sql in turn, with p as its $1 where it has one.
    void run(const char* sql, std::string_view p);
    [[noreturn]] void fail();
    // Rolls back an open transaction, if there is one.
    void rollback() noexcept;
    // Whether the database is in WAL mode, which tells where to look for
    // the holder of a lock.
    void setwal(bool on) { wal_ = on; }
    sqlite3* handle() { return db_; }
    const std::string& path() const { return path_; }

private:
    std::string why();
    int syserr();
    std::string holder();
    static int onbusy(void* self, int count);

    std::string path_;
    sqlite3* db_ = nullptr;
    bool wal_ = false;
    int busy_ms_;
    int waited_ms_ = 0;  // slept for a lock so far in this wait
    int gaveup_ms_ = -1; // how long the last wait lasted when it gave up
};
