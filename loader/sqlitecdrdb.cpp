// The loader's SQLite database: one file for the calls of one site, in WAL
// mode; the tables made, or upgraded from schema 1, at the first run.
#include <sqlite3.h>

#include "cdrdb.h"
#include "cdrschema.h"
#include "loadsql.h"

namespace {

// Rows go in by statements of this many: a statement's own cost, spread.
constexpr int BATCH = 256;

class SqliteCdrDb : public CdrDb {
public:
    SqliteCdrDb(const std::string& path, const std::string& site, int busy_ms);

    std::map<std::string, FileState> states() override;
    FileState begin(const std::string& rel) override;
    std::unordered_map<std::string, int> calls(long long file) override;
    void add(const CdrRow& row, long long file, long long generation, long long line) override;
    long long commit(const FileState& st) override;
    void rollback() noexcept override
    {
        nrows_ = 0;
        db_.rollback();
    }
    std::vector<std::string> sites(const std::string& site) override;
    void usesite(const std::string& site) override { site_ = site; }
    const std::string& name() const override { return db_.path(); }

private:
    using Stmt = SqliteDb::Stmt;
    void setjournal();
    void setschema();
    static FileState readstate(Stmt& s, int from);
    void flush();

    // A row waiting for its batch: its texts are copies in texts_.
    struct Row {
        long long file, generation, line, end, duration, meter, type;
        std::string_view::size_type at[4], len[4];  // first, second, dialled, charge
    };
    std::string site_;
    long long added_ = 0;
    Row rows_[BATCH];
    int nrows_ = 0;
    std::string texts_;
    // The connection first: the statements go before it closes.
    SqliteDb db_;
    std::unique_ptr<Stmt> states_, newfile_, file_, setstate_, insert_, insertmany_, calls_;
};

// WAL mode is kept in the database file, so readers that open it later
// find it too. The log and its index stay beside the database between runs
// (emptied), as a reader without write access to the folder cannot make
// them; when a run ends with a reader still in it, the log keeps what the
// reader may still need and the next run checkpoints it. A filesystem
// without WAL keeps the rollback journal.
//
// A commit is not forced to disk (synchronous NORMAL): one lost in a power
// cut takes its file's record with it, and the next run loads that file's
// lines again from the tree, which is on disk; the database itself stays
// whole. Per file, the wait for the disk is most of the time a load takes.
void SqliteCdrDb::setjournal()
{
    int keep = 1;
    if (sqlite3_file_control(db_.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep) != SQLITE_OK)
        throw DbError(db_.path() + ": cannot keep its write-ahead log between runs");
    db_.exec("PRAGMA journal_size_limit = 4194304");
    auto mode = db_.prepare("PRAGMA journal_mode = WAL");
    bool wal = mode->step() && mode->coltext(0) == "wal";
    mode->done();
    db_.setwal(wal);
    if (wal)
        db_.exec("PRAGMA synchronous = NORMAL");
    // The last pages of the table and its indexes stay in memory from one
    // file to the next, and the log is copied into the database (and both
    // forced to disk) every 32 MiB rather than every 4: a long load waited
    // for the disk more than it worked.
    db_.exec("PRAGMA cache_size = -16384");
    db_.exec("PRAGMA wal_autocheckpoint = 8192");
}

// Made when new, upgraded from schema 1 in the same transaction (so that a
// failed upgrade leaves the database as it was), refused when newer.
void SqliteCdrDb::setschema()
{
    db_.exec("BEGIN IMMEDIATE");
    auto v = db_.prepare("PRAGMA user_version");
    long long version = v->step() ? v->colint(0) : 0;
    v->done();
    if (version > CDR_SCHEMA)
        throw DbError(db_.path() + ": made by a newer morva-cdrload (schema " +
                      std::to_string(version) + "; this one knows " +
                      std::to_string(CDR_SCHEMA) + ")");
    if (version == 0)
        db_.exec(CDR_SQLITE_SCHEMA);
    if (version == 1)
        for (const char* step : CDR_SQLITE_UPGRADE1)
            db_.run(step, site_);
    db_.exec("COMMIT");
}

SqliteCdrDb::SqliteCdrDb(const std::string& path, const std::string& site, int busy_ms)
    : site_(site), db_(path, false, busy_ms)
{
    try {
        setjournal();
        setschema();
        states_ = db_.prepare(sql::STATES);
        newfile_ = db_.prepare(sql::NEWFILE);
        file_ = db_.prepare(sql::FILESTATE);
        setstate_ = db_.prepare(sql::SETSTATE);
        insert_ = db_.prepare(sql::insert(1).c_str());
        insertmany_ = db_.prepare(sql::insert(BATCH).c_str());
        calls_ = db_.prepare(sql::CALLS);
    } catch (...) {
        db_.rollback();
        throw;
    }
}

// The state columns from column `from` on: id, bytes, lines, generation,
// mtime_ns, head, tail.
FileState SqliteCdrDb::readstate(Stmt& s, int from)
{
    FileState st;
    st.id = s.colint(from);
    st.bytes = s.colint(from + 1);
    st.lines = s.colint(from + 2);
    st.generation = s.colint(from + 3);
    st.mtime_ns = s.colint(from + 4);
    st.head = s.coltext(from + 5);
    st.tail = s.coltext(from + 6);
    return st;
}

std::map<std::string, FileState> SqliteCdrDb::states()
{
    std::map<std::string, FileState> all;
    states_->text(site_);
    while (states_->step())
        all[states_->coltext(0)] = readstate(*states_, 1);
    return all;
}

std::vector<std::string> SqliteCdrDb::sites(const std::string& site)
{
    auto has = db_.prepare(sql::HASSITE);
    has->text(site);
    if (has->step()) {
        has->done();
        return {site};
    }
    std::vector<std::string> all;
    auto each = db_.prepare(sql::SITES);
    while (each->step())
        all.push_back(each->coltext(0));
    return all;
}

// IMMEDIATE, so that a second run waits before it reads how far the file
// was read.
FileState SqliteCdrDb::begin(const std::string& rel)
{
    db_.exec("BEGIN IMMEDIATE");
    added_ = 0;
    nrows_ = 0;
    texts_.clear();
    newfile_->text(site_).text(rel);
    newfile_->step();
    file_->text(site_).text(rel);
    if (!file_->step())
        throw DbError(db_.path() + ": the record of " + rel + " vanished");
    FileState st = readstate(*file_, 0);
    file_->done();
    return st;
}

std::unordered_map<std::string, int> SqliteCdrDb::calls(long long file)
{
    std::unordered_map<std::string, int> n;
    calls_->integer(file);
    while (calls_->step()) {
        CdrRow r;
        r.first = calls_->colview(0);
        r.second = calls_->colview(1);
        r.dialled = calls_->colview(2);
        r.end = calls_->colint(3);
        r.duration = long(calls_->colint(4));
        r.meter = long(calls_->colint(5));
        r.charge = calls_->colview(6);
        r.type = int(calls_->colint(7));
        n[r.key()]++;
    }
    return n;
}

void SqliteCdrDb::add(const CdrRow& r, long long file, long long generation, long long line)
{
    Row& w = rows_[nrows_++];
    w = Row{file, generation, line, r.end, r.duration, r.meter, r.type, {}, {}};
    int i = 0;
    for (std::string_view t : {r.first, r.second, r.dialled, r.charge}) {
        w.at[i] = texts_.size();
        w.len[i++] = t.size();
        texts_.append(t);
    }
    if (nrows_ == BATCH)
        flush();
}

// The rows waiting: a whole batch in one statement, fewer one by one.
void SqliteCdrDb::flush()
{
    Stmt& s = nrows_ == BATCH ? *insertmany_ : *insert_;
    for (int k = 0; k < nrows_; k++) {
        const Row& w = rows_[k];
        auto text = [&](int i) { return std::string_view(texts_).substr(w.at[i], w.len[i]); };
        s.integer(w.file).integer(w.generation).integer(w.line).integer(w.end);
        s.ref(text(0), true).ref(text(1), true).ref(text(2), true);
        s.integer(w.duration).integer(w.meter).ref(text(3), true).integer(w.type);
        if (&s == insert_.get())
            s.step();
    }
    if (&s == insertmany_.get())
        s.step();
    added_ += nrows_;
    nrows_ = 0;
    texts_.clear();
}

long long SqliteCdrDb::commit(const FileState& st)
{
    flush();
    setstate_->integer(st.id).integer(st.bytes).integer(st.lines).integer(st.generation);
    setstate_->integer(st.mtime_ns).blob(st.head).blob(st.tail);
    setstate_->step();
    db_.exec("COMMIT");
    return added_;
}

}  // namespace

std::unique_ptr<CdrDb> opensqlite(const std::string& path, const std::string& site, int wait_ms)
{
    return std::make_unique<SqliteCdrDb>(path, site, wait_ms);
}
