// The calls from an SQLite database of morva-cdrload, opened read-only.
#include <charconv>

#include "calls.h"
#include "cdrschema.h"
#include "civil.h"
#include "queries.h"
#include "sqlitedb.h"

namespace {

bool direction(std::string_view s, Dir& d)
{
    if (s == "out")
        d = Dir::Out;
    else if (s == "in")
        d = Dir::In;
    else if (s == "tandem")
        d = Dir::Tandem;
    else if (s == "internal")
        d = Dir::Internal;
    else
        return false;
    return true;
}

class SqliteSource : public CallSource {
public:
    explicit SqliteSource(const std::string& path) : db_(path, true, 30000)
    {
        auto mode = db_.prepare("PRAGMA journal_mode");
        db_.setwal(mode->step() && mode->colview(0) == "wal");
        mode->done();
        auto v = db_.prepare("PRAGMA user_version");
        long long version = v->step() ? v->colint(0) : 0;
        v->done();
        if (version == 0)
            throw DbError(path + ": not a database of morva-cdrload (it has no table cdr)");
        if (version > CDR_SCHEMA)
            throw DbError(path + ": made by a newer morva-cdrload (schema " +
                          std::to_string(version) + ")");
        calls_ = db_.prepare(sql::CALLS);
        newest_ = db_.prepare(sql::NEWEST);
        before_ = db_.prepare(sql::NEWEST_BEFORE);
    }

    void calls(long long from, long long to, const std::function<void(const Call&)>& each) override
    {
        calls_->text(stamptext(from)).text(stamptext(to));
        Call c;
        while (calls_->step()) {
            c.first = calls_->colview(0);
            c.second = calls_->colview(1);
            c.dialled = calls_->colview(2);
            c.duration = long(calls_->colint(4));
            c.meter = long(calls_->colint(5));
            c.type = int(calls_->colint(6));
            if (!parsestamp(calls_->colview(3), c.end) || !direction(calls_->colview(7), c.dir) ||
                c.duration < 0 || c.duration > MAXCALL || c.meter < 0 || !digits(c.first, 7) ||
                !digits(c.second, 7) || !digits(c.dialled, 24)) {
                bad_++;
                continue;
            }
            each(c);
        }
    }

    std::optional<Month> lastfullmonth() override
    {
        std::string newest = value(*newest_);
        if (newest.size() < 7)
            return std::nullopt;
        before_->text(newest.substr(0, 7) + "-01 00:00:00");
        std::string full = value(*before_);
        Month m;
        if (full.size() < 7 || std::from_chars(full.data(), full.data() + 4, m.year).ec != std::errc() ||
            std::from_chars(full.data() + 5, full.data() + 7, m.month).ec != std::errc())
            return std::nullopt;
        return m;
    }

private:
    static bool digits(std::string_view s, size_t most)
    {
        return s.size() <= most && s.find_first_not_of("0123456789") == s.npos;
    }

    std::string value(SqliteDb::Stmt& s)
    {
        std::string v = s.step() ? s.coltext(0) : std::string();
        s.done();
        return v;
    }

    // The connection first: the statements go before it closes.
    SqliteDb db_;
    std::unique_ptr<SqliteDb::Stmt> calls_, newest_, before_;
};

}  // namespace

std::unique_ptr<CallSource> opensource(const std::string& database)
{
    return std::make_unique<SqliteSource>(database);
}
