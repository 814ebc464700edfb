// The calls from a PostgreSQL database of morva-cdrload, in one read-only
// transaction that sees the database as it was at its start, the calls
// through a cursor a batch at a time, so that memory does not grow with
// the period.
#include "calls.h"
#include "cdrschema.h"
#include "pgdb.h"
#include "queries.h"

namespace {

class PgSource : public CallSource {
public:
    PgSource(const std::string& conninfo, const std::vector<std::string>& asked)
        : db_(conninfo, "morva-report", 30000)
    {
        name_ = db_.name();
        db_.exec(sql::PG_BEGIN);
        if (db_.exec(CDR_PG_HASVERSION).text(0, 0) != "t")
            throw DbError(name_ + ": not a database of morva-cdrload (it has no table cdr_schema)");
        PgDb::Result v = db_.exec(CDR_PG_VERSION);
        long long version = v.null(0, 0) ? 0 : v.textint(0, 0);
        if (version > CDR_SCHEMA)
            throw DbError(name_ + ": made by a newer morva-cdrload (schema " +
                          std::to_string(version) + ")");

        std::vector<std::string> there;
        PgDb::Result sites = db_.exec(sql::SITES);
        for (int i = 0; i < sites.rows(); i++)
            there.emplace_back(sites.text(i, 0));
        choosesites(std::move(there), asked);
        PgDb::Result files = db_.exec(sql::FILES);
        for (int i = 0; i < files.rows(); i++)
            addfile(files.textint(i, 0), files.text(i, 1));
        n_ = asked.empty() ? 0 : this->sites().size();
    }

    void calls(long long from, long long to, const std::function<void(const Call&)>& each) override
    {
        const std::string a = std::to_string(from), b = std::to_string(to);
        const std::string declare = sql::PG_DECLARE + sql::calls(n_);
        execsites(declare, {a, b});
        Call c;
        for (;;) {
            PgDb::Result r = db_.exec(sql::PG_FETCH);
            if (r.rows() == 0)
                break;
            for (int i = 0; i < r.rows(); i++)
                if (take(r.textint(i, 0), r.text(i, 1), r.text(i, 2), r.text(i, 3),
                         r.textint(i, 4), r.textint(i, 5), r.textint(i, 6), r.textint(i, 7), c))
                    each(c);
        }
        db_.exec(sql::PG_CLOSE);
    }

private:
    std::optional<long long> newestbefore(long long t) override
    {
        const std::string q = sql::newest(n_), a = std::to_string(t);
        PgDb::Result r = execsites(q, {a});
        if (r.null(0, 0))
            return std::nullopt;
        return r.textint(0, 0);
    }

    // q with its own parameters first, then the sites it names.
    PgDb::Result execsites(const std::string& q, std::vector<std::string> params)
    {
        for (size_t i = 0; i < n_; i++)
            params.push_back(sites()[i]);
        return db_.execv(q.c_str(), params);
    }

    PgDb db_;
    size_t n_ = 0;  // sites named in the queries; 0: all
};

}  // namespace

std::unique_ptr<CallSource> openpgsource(const std::string& conninfo,
                                         const std::vector<std::string>& sites)
{
    return std::make_unique<PgSource>(conninfo, sites);
}
