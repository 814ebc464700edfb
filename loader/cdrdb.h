// The loader's database, behind one interface with two back ends, SQLite
// (one site, embedded) and PostgreSQL (a central server for many sites):
// the calls of each hourly file of the site, and how far each file was read.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "cdrparse.h"
#include "sqlitedb.h"  // DbError

// How far a file has been read, and what to know it again by.
struct FileState {
    long long id = 0;          // the file's number, which its rows carry
    long long bytes = 0;       // read up to here: the end of a whole line; -1: rows, but
                               // no record of how far they go (read again as changed)
    long long lines = 0;       // whole lines read, loaded or not
    long long generation = 0;  // 0 for a file never read, 1 for the first file at the
                               // path, then +1 per change
    long long mtime_ns = 0;    // modification time when last read
    std::string head, tail;    // the first and last bytes (at most 128) before bytes
};

class CdrDb {
public:
    virtual ~CdrDb() = default;

    // How far each file of the site was read, by its path in the tree.
    virtual std::map<std::string, FileState> states() = 0;
    // Begins the transaction of one file and returns its record, made
    // (generation 0) when there is none; another run of the site waits for
    // the file until commit or rollback.
    virtual FileState begin(const std::string& rel) = 0;
    // How many rows of the file there are of each call (CdrRow::key).
    virtual std::unordered_map<std::string, int> calls(long long file) = 0;
    // A row of the file begun, at line of its generation.
    virtual void add(const CdrRow& row, long long file, long long generation, long long line) = 0;
    // Stores the file's new state with its rows, and commits: the rows added.
    virtual long long commit(const FileState& st) = 0;
    virtual void rollback() noexcept = 0;

    // The sites whose files the database holds: site alone when it holds
    // that one, else all of them in order (none when it is new).
    virtual std::vector<std::string> sites(const std::string& site) = 0;
    // The files of site from now on.
    virtual void usesite(const std::string& site) = 0;
    // The database as messages name it: never a password.
    virtual const std::string& name() const = 0;
};

// Opens or makes the database of DATABASE, an SQLite file or a PostgreSQL
// connection string (ispgconninfo), for the rows of site; a database of
// today's older schema is upgraded, one of a newer one refused. A lock held
// by another process is waited for up to wait_ms. Throws DbError.
//
// A tree stays under the site it was first loaded under: under another
// name every file would be new, and all its calls loaded again. So site,
// when not given (the host's name), is taken only by a database that holds
// no site or holds that one; an SQLite file that holds one other site
// keeps that one, and anything else is refused. A site given is refused by
// an SQLite file that holds one other site and not it (a renamed site: the
// message says how to rename it in the database); a new site given is
// normal on a PostgreSQL server of many.
std::unique_ptr<CdrDb> opendb(const std::string& database, const std::string& site, bool given,
                              int wait_ms = 30000);
std::unique_ptr<CdrDb> opensqlite(const std::string& path, const std::string& site, int wait_ms);
std::unique_ptr<CdrDb> openpg(const std::string& conninfo, const std::string& site, int wait_ms);
