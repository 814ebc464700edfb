// The calls from an SQLite database of morva-cdrload, opened read-only, in
// one read transaction, so that every query sees the same database.
#include "calls.h"
#include "cdrschema.h"
#include "queries.h"
#include "sqlitedb.h"

namespace {

class SqliteSource : public CallSource {
public:
    SqliteSource(const std::string& path, const std::vector<std::string>& asked)
        : db_(path, true, 30000)
    {
        name_ = path;
        auto mode = db_.prepare("PRAGMA journal_mode");
        db_.setwal(mode->step() && mode->colview(0) == "wal");
        mode->done();
        db_.exec("BEGIN");
        auto v = db_.prepare("PRAGMA user_version");
        long long version = v->step() ? v->colint(0) : 0;
        v->done();
        if (version == 0)
            throw DbError(path + ": not a database of morva-cdrload (it has no table cdr)");
        if (version < CDR_SCHEMA)
            throw DbError(path + ": schema " + std::to_string(version) +
                          " of an older morva-cdrload: the next run of morva-cdrload upgrades it");
        if (version > CDR_SCHEMA)
            throw DbError(path + ": made by a newer morva-cdrload (schema " +
                          std::to_string(version) + ")");

        std::vector<std::string> there;
        auto sites = db_.prepare(sql::SITES);
        while (sites->step())
            there.push_back(sites->coltext(0));
        choosesites(std::move(there), asked);
        auto files = db_.prepare(sql::FILES);
        while (files->step())
            addfile(files->colint(0), files->colview(1));
        n_ = asked.empty() ? 0 : this->sites().size();
        calls_ = db_.prepare(sql::calls(n_).c_str());
        newest_ = db_.prepare(sql::newest(n_).c_str());
    }

    ~SqliteSource() override { db_.rollback(); }

    void calls(long long from, long long to, const std::function<void(const Call&)>& each) override
    {
        calls_->integer(from).integer(to);
        bindsites(*calls_);
        Call c;
        while (calls_->step())
            if (take(calls_->colint(0), calls_->colview(1), calls_->colview(2),
                     calls_->colview(3), calls_->colint(4), calls_->colint(5),
                     calls_->colint(6), calls_->colint(7), c))
                each(c);
    }

private:
    std::optional<long long> newestbefore(long long t) override
    {
        newest_->integer(t);
        bindsites(*newest_);
        std::optional<long long> v;
        if (newest_->step() && !newest_->colview(0).empty())
            v = newest_->colint(0);
        newest_->done();
        return v;
    }

    void bindsites(SqliteDb::Stmt& s)
    {
        for (size_t i = 0; i < n_; i++)
            s.text(this->sites()[i]);
    }

    // The connection first: the statements go before it closes.
    SqliteDb db_;
    size_t n_ = 0;  // sites named in the queries; 0: all
    std::unique_ptr<SqliteDb::Stmt> calls_, newest_;
};

}  // namespace

std::unique_ptr<CallSource> opensqlitesource(const std::string& path,
                                             const std::vector<std::string>& sites)
{
    return std::make_unique<SqliteSource>(path, sites);
}
