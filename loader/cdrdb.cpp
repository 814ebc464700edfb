// The loader's SQLite database through SQLite's C API: prepared statements
// only, every call checked, any failure thrown as a DbError.
#include "cdrdb.h"

#include <sqlite3.h>

namespace {

constexpr int SCHEMA = 1;  // user_version of the tables below

const char* const schema = R"(
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

}  // namespace

struct CdrDb::Stmt {
    CdrDb& owner;
    sqlite3_stmt* s = nullptr;
    int next = 0;  // the parameter bind() fills next

    Stmt(CdrDb& db) : owner(db) {}
    ~Stmt() { sqlite3_finalize(s); }

    void check(int rc)
    {
        if (rc != SQLITE_OK)
            owner.fail();
    }
    Stmt& text(const std::string& v, bool emptyisnull = false)
    {
        if (emptyisnull && v.empty())
            check(sqlite3_bind_null(s, ++next));
        else
            check(sqlite3_bind_text(s, ++next, v.data(), int(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Stmt& blob(const std::string& v)
    {
        check(sqlite3_bind_blob(s, ++next, v.data(), int(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Stmt& integer(long long v)
    {
        check(sqlite3_bind_int64(s, ++next, v));
        return *this;
    }
    // True while there is a row; false at the end, when it is reset.
    bool step()
    {
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            owner.fail();
        done();
        return false;
    }
    void done()
    {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        next = 0;
    }
    std::string coltext(int i)
    {
        const void* p = sqlite3_column_blob(s, i);
        int n = sqlite3_column_bytes(s, i);
        if (!p && sqlite3_errcode(owner.db_) == SQLITE_NOMEM)
            owner.fail();
        return p ? std::string(static_cast<const char*>(p), size_t(n)) : std::string();
    }
    long long colint(int i) { return sqlite3_column_int64(s, i); }
};

void CdrDb::fail()
{
    throw DbError(path_ + ": " + sqlite3_errmsg(db_));
}

std::unique_ptr<CdrDb::Stmt> CdrDb::prepare(const char* sql)
{
    auto st = std::make_unique<Stmt>(*this);
    if (sqlite3_prepare_v2(db_, sql, -1, &st->s, nullptr) != SQLITE_OK)
        fail();
    return st;
}

void CdrDb::exec(const char* sql)
{
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}

CdrDb::CdrDb(const std::string& path) : path_(path)
{
    int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = path + ": cannot open: " +
                          (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
        sqlite3_close(db_);
        db_ = nullptr;
        throw DbError(msg);
    }
    try {
        if (sqlite3_extended_result_codes(db_, 1) != SQLITE_OK ||
            sqlite3_busy_timeout(db_, 30000) != SQLITE_OK)
            fail();
        if (sqlite3_db_readonly(db_, "main") == 1)
            throw DbError(path + ": cannot be written");

        begin();
        auto v = prepare("PRAGMA user_version");
        long long version = v->step() ? v->colint(0) : 0;
        v->done();
        if (version > SCHEMA)
            throw DbError(path + ": made by a newer morva-cdrload (schema " +
                          std::to_string(version) + ")");
        if (version < SCHEMA) {
            exec(schema);
            exec("PRAGMA user_version = 1");
        }
        commit();

        getstate_ = prepare("SELECT bytes, lines, generation, mtime_ns, head, tail"
                            " FROM loaded_file WHERE path = ?");
        allstates_ = prepare("SELECT path, bytes, lines, generation, mtime_ns, head, tail"
                             " FROM loaded_file");
        putstate_ = prepare("INSERT OR REPLACE INTO loaded_file"
                            " (path, bytes, lines, generation, mtime_ns, head, tail)"
                            " VALUES (?, ?, ?, ?, ?, ?, ?)");
        insert_ = prepare("INSERT INTO cdr (first_party, second_party, dialled, end_time,"
                          " duration, meter, charge, type, direction, assisted,"
                          " src_file, src_gen, src_line)"
                          " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        lastgen_ = prepare("SELECT max(src_gen) FROM cdr WHERE src_file = ?");
        calls_ = prepare("SELECT first_party, second_party, dialled, end_time, duration,"
                         " meter, charge, type FROM cdr WHERE src_file = ?");
    } catch (...) {
        rollback();
        close();
        throw;
    }
}

CdrDb::~CdrDb() { close(); }

// The statements go first: a connection with statements left does not close.
void CdrDb::close() noexcept
{
    getstate_.reset();
    allstates_.reset();
    putstate_.reset();
    insert_.reset();
    lastgen_.reset();
    calls_.reset();
    sqlite3_close(db_);
    db_ = nullptr;
}

// The state columns from column `from` on: bytes, lines, generation,
// mtime_ns, head, tail.
FileState CdrDb::readstate(Stmt& s, int from)
{
    FileState st;
    st.bytes = s.colint(from);
    st.lines = s.colint(from + 1);
    st.generation = s.colint(from + 2);
    st.mtime_ns = s.colint(from + 3);
    st.head = s.coltext(from + 4);
    st.tail = s.coltext(from + 5);
    return st;
}

std::map<std::string, FileState> CdrDb::states()
{
    std::map<std::string, FileState> all;
    while (allstates_->step())
        all[allstates_->coltext(0)] = readstate(*allstates_, 1);
    return all;
}

bool CdrDb::state(const std::string& rel, FileState& st)
{
    getstate_->text(rel);
    if (!getstate_->step())
        return false;
    st = readstate(*getstate_, 0);
    getstate_->done();
    return true;
}

void CdrDb::setstate(const std::string& rel, const FileState& st)
{
    putstate_->text(rel).integer(st.bytes).integer(st.lines).integer(st.generation);
    putstate_->integer(st.mtime_ns).blob(st.head).blob(st.tail);
    putstate_->step();
}

void CdrDb::insert(const CdrRow& r, const std::string& rel, long long gen, long long line)
{
    Stmt& s = *insert_;
    s.text(r.first, true).text(r.second, true).text(r.dialled, true).text(r.end);
    s.integer(r.duration).integer(r.meter).text(r.charge, true).integer(r.type);
    s.text(r.direction).integer(r.assisted).text(rel).integer(gen).integer(line);
    s.step();
}

long long CdrDb::lastgen(const std::string& rel)
{
    lastgen_->text(rel);
    long long gen = lastgen_->step() ? lastgen_->colint(0) : 0;
    lastgen_->done();
    return gen;
}

std::unordered_map<std::string, int> CdrDb::calls(const std::string& rel)
{
    std::unordered_map<std::string, int> n;
    calls_->text(rel);
    while (calls_->step()) {
        CdrRow r;
        r.first = calls_->coltext(0);
        r.second = calls_->coltext(1);
        r.dialled = calls_->coltext(2);
        r.end = calls_->coltext(3);
        r.duration = long(calls_->colint(4));
        r.meter = long(calls_->colint(5));
        r.charge = calls_->coltext(6);
        r.type = int(calls_->colint(7));
        n[r.key()]++;
    }
    return n;
}

void CdrDb::begin() { exec("BEGIN IMMEDIATE"); }
void CdrDb::commit() { exec("COMMIT"); }

void CdrDb::rollback() noexcept
{
    if (db_ && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}
