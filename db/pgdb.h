// One PostgreSQL connection through libpq's C API, shared by the loader and
// the report: parameters always apart from the SQL text, every call
// checked, any failure thrown as a DbError with the server's SQLSTATE.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "sqlitedb.h"  // DbError

struct pg_conn;
struct pg_result;

// Whether a DATABASE argument is a PostgreSQL connection string rather than
// an SQLite file: a URI (postgresql://, postgres://) or keyword=value pairs
// (service=NAME, host=... dbname=...).
bool ispgconninfo(std::string_view database);

class PgDb {
public:
    // Connects; the connection's own settings (service file, .pgpass,
    // PG* variables) apply as libpq reads them. Waits for the server at most
    // 30 seconds, and for a lock at most lock_ms. A connection string that
    // cannot be read is refused with the kind of fault, never its text.
    PgDb(const std::string& conninfo, const char* program, int lock_ms);
    ~PgDb();
    PgDb(const PgDb&) = delete;
    PgDb& operator=(const PgDb&) = delete;

    // A parameter, as text or as bytes (bytea).
    struct Param {
        std::string_view v;
        bool bytes = false;
    };

    // The result of a statement; binary=true gives bigint columns as
    // integers and bytea columns as their bytes.
    class Result {
    public:
        explicit Result(pg_result* r) : r_(r) {}
        ~Result();
        Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
        Result(const Result&) = delete;
        Result& operator=(const Result&) = delete;
        int rows() const;
        bool null(int row, int col) const;
        std::string_view text(int row, int col) const;
        long long binint(int row, int col) const;  // a bigint of a binary result
        long long textint(int row, int col) const; // an integer of a text result
        long long affected() const;                // rows an INSERT or UPDATE touched

    private:
        pg_result* r_;
    };

    Result exec(const char* sql, std::initializer_list<Param> params = {}, bool binary = false);
    // With a list of text parameters made at run time.
    Result execv(const char* sql, const std::vector<std::string>& params);
    // Statements without parameters, separated by semicolons.
    void script(const char* sql);
    // COPY ... FROM STDIN: begin, send the data in pieces, end.
    void copybegin(const char* sql);
    void copyput(std::string_view data);
    void copyend();
    // Rolls back an open transaction, if there is one; never throws.
    void rollback() noexcept;
    const std::string& name() const { return name_; }

private:
    Result run(const char* sql, int n, const char* const* values, const int* lengths,
               const int* formats, bool binary);
    [[noreturn]] void fail(pg_result* r = nullptr);
    Result check(pg_result* r, int want);

    pg_conn* conn_ = nullptr;
    std::string name_;  // the database as messages name it: never its password
};
