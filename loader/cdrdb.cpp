// The loader's SQLite database: the tables, their statements and the
// transactions of a load.
#include "cdrdb.h"

#include <sqlite3.h>

#include "cdrschema.h"

// WAL mode is kept in the database file, so readers that open it later
// find it too. The log and its index stay beside the database between runs
// (emptied), as a reader without write access to the folder cannot make
// them; when a run ends with a reader still in it, the log keeps what the
// reader may still need and the next run checkpoints it. A filesystem
// without WAL keeps the rollback journal.
void CdrDb::setjournal()
{
    int keep = 1;
    if (sqlite3_file_control(db_.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep) != SQLITE_OK)
        throw DbError(db_.path() + ": cannot keep its write-ahead log between runs");
    db_.exec("PRAGMA journal_size_limit = 4194304");
    auto mode = db_.prepare("PRAGMA journal_mode = WAL");
    db_.setwal(mode->step() && mode->coltext(0) == "wal");
    mode->done();
}

CdrDb::CdrDb(const std::string& path, int busy_ms) : db_(path, false, busy_ms)
{
    try {
        setjournal();

        begin();
        auto v = db_.prepare("PRAGMA user_version");
        long long version = v->step() ? v->colint(0) : 0;
        v->done();
        if (version > CDR_SCHEMA)
            throw DbError(path + ": made by a newer morva-cdrload (schema " +
                          std::to_string(version) + ")");
        if (version < CDR_SCHEMA) {
            db_.exec(CDR_TABLES);
            db_.exec(("PRAGMA user_version = " + std::to_string(CDR_SCHEMA)).c_str());
        }
        commit();

        getstate_ = db_.prepare("SELECT bytes, lines, generation, mtime_ns, head, tail"
                                " FROM loaded_file WHERE path = ?");
        allstates_ = db_.prepare("SELECT path, bytes, lines, generation, mtime_ns, head, tail"
                                 " FROM loaded_file");
        putstate_ = db_.prepare("INSERT OR REPLACE INTO loaded_file"
                                " (path, bytes, lines, generation, mtime_ns, head, tail)"
                                " VALUES (?, ?, ?, ?, ?, ?, ?)");
        insert_ = db_.prepare("INSERT INTO cdr (first_party, second_party, dialled, end_time,"
                              " duration, meter, charge, type, direction, assisted,"
                              " src_file, src_gen, src_line)"
                              " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        lastgen_ = db_.prepare("SELECT max(src_gen) FROM cdr WHERE src_file = ?");
        calls_ = db_.prepare("SELECT first_party, second_party, dialled, end_time, duration,"
                             " meter, charge, type FROM cdr WHERE src_file = ?");
    } catch (...) {
        rollback();
        throw;
    }
}

CdrDb::~CdrDb() = default;

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

void CdrDb::begin() { db_.exec("BEGIN IMMEDIATE"); }
void CdrDb::commit() { db_.exec("COMMIT"); }
void CdrDb::rollback() noexcept { db_.rollback(); }
