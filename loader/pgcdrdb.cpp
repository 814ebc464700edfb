// The loader's PostgreSQL database: one server for the calls of many
// sites. Each file's rows are copied into a staging table and put into
// cdr_call with the file's new state in one transaction, a line already
// there (site, file, generation, line) being left as it is: a run cut off
// anywhere (killed, its link or the server gone) leaves whole files, and
// the next loads each line once.
#include <charconv>

#include "cdrdb.h"
#include "cdrschema.h"
#include "loadsql.h"
#include "pgdb.h"

namespace {

// Rows are sent to the server in pieces of about this size.
constexpr size_t COPYCHUNK = 256 * 1024;

class PgCdrDb : public CdrDb {
public:
    PgCdrDb(const std::string& conninfo, const std::string& site, int lock_ms);

    std::map<std::string, FileState> states() override;
    FileState begin(const std::string& rel) override;
    std::unordered_map<std::string, int> calls(long long file) override;
    void add(const CdrRow& row, long long file, long long generation, long long line) override;
    long long commit(const FileState& st) override;
    void rollback() noexcept override;
    std::vector<std::string> sites(const std::string& site) override;
    void usesite(const std::string& site) override { site_ = site; }
    const std::string& name() const override { return db_.name(); }

private:
    static FileState readstate(const PgDb::Result& r, int row, int from);
    void number(long long v);
    void field(std::string_view v);

    std::string site_;
    PgDb db_;
    bool copying_ = false;
    std::string buf_;  // rows not yet sent, in COPY's text format
};

// The tables are made by the first loader of an empty database; others
// starting at the same moment wait on the lock for it, then find them.
PgCdrDb::PgCdrDb(const std::string& conninfo, const std::string& site, int lock_ms)
    : site_(site), db_(conninfo, "morva-cdrload", lock_ms)
{
    try {
        db_.exec("BEGIN");
        db_.exec(CDR_PG_LOCK);
        if (db_.exec(CDR_PG_HASVERSION).text(0, 0) != "t")
            db_.script(CDR_PG_SCHEMA);
        PgDb::Result v = db_.exec(CDR_PG_VERSION);
        long long version = v.null(0, 0) ? 0 : v.textint(0, 0);
        if (version > CDR_SCHEMA)
            throw DbError(db_.name() + ": made by a newer morva-cdrload (schema " +
                          std::to_string(version) + "; this one knows " +
                          std::to_string(CDR_SCHEMA) + ")");
        if (version < CDR_SCHEMA)
            throw DbError(db_.name() + ": cdr_schema holds no version: not a database of"
                          " morva-cdrload, or damaged");
        db_.exec("COMMIT");
        db_.exec(sql::PG_STAGE);
    } catch (...) {
        db_.rollback();
        throw;
    }
    buf_.reserve(COPYCHUNK + 1024);
}

// The columns from `from` on of a row of a binary result: id, bytes,
// lines, generation, mtime_ns, head, tail.
FileState PgCdrDb::readstate(const PgDb::Result& r, int row, int from)
{
    FileState st;
    st.id = r.binint(row, from);
    st.bytes = r.binint(row, from + 1);
    st.lines = r.binint(row, from + 2);
    st.generation = r.binint(row, from + 3);
    st.mtime_ns = r.binint(row, from + 4);
    st.head = r.text(row, from + 5);
    st.tail = r.text(row, from + 6);
    return st;
}

std::map<std::string, FileState> PgCdrDb::states()
{
    std::map<std::string, FileState> all;
    PgDb::Result r = db_.exec(sql::STATES, {{site_}}, true);
    for (int i = 0; i < r.rows(); i++)
        all[std::string(r.text(i, 0))] = readstate(r, i, 1);
    return all;
}

std::vector<std::string> PgCdrDb::sites(const std::string& site)
{
    if (db_.exec(sql::HASSITE, {{site}}).rows() > 0)
        return {site};
    std::vector<std::string> all;
    PgDb::Result r = db_.exec(sql::SITES);
    for (int i = 0; i < r.rows(); i++)
        all.emplace_back(r.text(i, 0));
    return all;
}

FileState PgCdrDb::begin(const std::string& rel)
{
    db_.exec("BEGIN");
    db_.exec(sql::NEWFILE, {{site_}, {rel}});
    PgDb::Result r = db_.exec(sql::FILE_LOCKED, {{site_}, {rel}}, true);
    if (r.rows() != 1)
        throw DbError(db_.name() + ": the record of " + rel + " vanished");
    return readstate(r, 0, 0);
}

std::unordered_map<std::string, int> PgCdrDb::calls(long long file)
{
    std::unordered_map<std::string, int> n;
    const std::string id = std::to_string(file);
    PgDb::Result r = db_.exec(sql::CALLS, {{id}});
    for (int i = 0; i < r.rows(); i++) {
        CdrRow c;
        c.first = r.text(i, 0);
        c.second = r.text(i, 1);
        c.dialled = r.text(i, 2);
        c.end = r.textint(i, 3);
        c.duration = long(r.textint(i, 4));
        c.meter = long(r.textint(i, 5));
        c.charge = r.text(i, 6);
        c.type = int(r.textint(i, 7));
        n[c.key()]++;
    }
    return n;
}

void PgCdrDb::number(long long v)
{
    char b[24];
    auto res = std::to_chars(b, b + sizeof b, v);
    buf_.append(b, res.ptr).push_back('\t');
}

// A text field: digits only (parse_cdr sees to it), so nothing needs
// escaping; empty is NULL.
void PgCdrDb::field(std::string_view v)
{
    if (v.empty())
        buf_.append("\\N");
    else
        buf_.append(v);
    buf_.push_back('\t');
}

void PgCdrDb::add(const CdrRow& r, long long file, long long generation, long long line)
{
    if (!copying_) {
        db_.copybegin(sql::PG_COPY);
        copying_ = true;
    }
    number(file);
    number(generation);
    number(line);
    number(r.end);
    field(r.first);
    field(r.second);
    field(r.dialled);
    number(r.duration);
    number(r.meter);
    field(r.charge);
    number(r.type);
    buf_.back() = '\n';
    if (buf_.size() >= COPYCHUNK) {
        db_.copyput(buf_);
        buf_.clear();
    }
}

long long PgCdrDb::commit(const FileState& st)
{
    long long added = 0;
    if (copying_) {
        if (!buf_.empty())
            db_.copyput(buf_);
        buf_.clear();
        copying_ = false;
        db_.copyend();
        added = db_.exec(sql::PG_INSERT).affected();
    }
    const std::string id = std::to_string(st.id), bytes = std::to_string(st.bytes),
                      lines = std::to_string(st.lines), gen = std::to_string(st.generation),
                      mtime = std::to_string(st.mtime_ns);
    db_.exec(sql::SETSTATE, {{id}, {bytes}, {lines}, {gen}, {mtime}, {st.head, true},
                             {st.tail, true}});
    db_.exec("COMMIT");
    return added;
}

void PgCdrDb::rollback() noexcept
{
    copying_ = false;
    buf_.clear();
    db_.rollback();
}

}  // namespace

std::unique_ptr<CdrDb> openpg(const std::string& conninfo, const std::string& site, int wait_ms)
{
    return std::make_unique<PgCdrDb>(conninfo, site, wait_ms);
}
