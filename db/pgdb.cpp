// One PostgreSQL connection through libpq's C API.
#include "pgdb.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <endian.h>
#include <libpq-fe.h>
#include <vector>

namespace {

// libpq's message on one line, as every message of ours is.
std::string oneline(const char* text)
{
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    for (char& c : s)
        if (c == '\n')
            c = ' ';
    return s;
}

// libpq's words on a connection string it cannot read, without the part of
// the string they quote, where a password may stand: the first quote that
// is not one of libpq's own ("=", "]", ":", "/") is cut from there to the
// words libpq puts after it (" in connection info string") or to the end.
// libpq's messages are in English here: no program of ours sets a locale.
std::string unquoted(std::string s)
{
    const std::string_view after = " in connection info string";
    for (size_t q = 0; (q = s.find('"', q)) != s.npos; q += 3) {
        if (q + 2 < s.size() && s[q + 2] == '"' && s[q + 1] && std::strchr("=]:/", s[q + 1]))
            continue;
        size_t end = s.ends_with(after) && s.size() - after.size() > q ? s.size() - after.size()
                                                                        : s.size();
        s.replace(q, end - q, "\"...\"");
        break;
    }
    return s;
}

bool isuri(std::string_view s)
{
    return s.starts_with("postgresql://") || s.starts_with("postgres://");
}

// Whether a URI's user name and password end where libpq ends them, at
// its only @, with no / or ? before it. An @, / or ? of a password written
// as it is puts the rest of the password into the host, port or database
// name, which messages show.
bool userpartends(std::string_view uri)
{
    std::string_view rest = uri.substr(uri.find("://") + 3);
    size_t at = rest.find('@');
    return at == rest.npos || (rest.find_first_of("/?") > at && rest.find('@', at + 1) == rest.npos);
}

}  // namespace

bool ispgconninfo(std::string_view s)
{
    if (isuri(s))
        return true;
    size_t i = s.find_first_not_of(" \t");
    size_t word = i == s.npos ? s.npos
                              : s.find_first_not_of("abcdefghijklmnopqrstuvwxyz_", i);
    if (word == s.npos || word == i)
        return false;
    size_t eq = s.find_first_not_of(" \t", word);
    return eq != s.npos && s[eq] == '=';
}

PgDb::PgDb(const std::string& conninfo, const char* program, int lock_ms)
{
    // Read first, so that no message of libpq's that quotes the string is
    // ever shown.
    char* err = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &err);
    PQconninfoFree(options);
    if (!options) {
        std::string why = err ? unquoted(oneline(err)) : "out of memory";
        PQfreemem(err);
        throw DbError("PostgreSQL: connection string cannot be read: " + why);
    }
    if (isuri(conninfo) && !userpartends(conninfo))
        throw DbError("PostgreSQL: connection string cannot be read: more than one @, or an @"
                      " after a / or ?; in a user name or password, write @ as %40, / as %2F"
                      " and ? as %3F");

    // Ours first: what the connection string says comes later and wins. A
    // server that vanished without a word (a cut link) fails the run within
    // about a minute instead of holding it for hours.
    const char* keys[] = {"connect_timeout", "fallback_application_name", "client_encoding",
                          "keepalives_idle", "keepalives_interval", "keepalives_count",
                          "tcp_user_timeout", "dbname", nullptr};
    const char* values[] = {"30", program, "UTF8", "60", "10", "6", "60000", conninfo.c_str(),
                            nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_)
        throw DbError("PostgreSQL: out of memory");
    const char* db = PQdb(conn_);
    const char* host = PQhost(conn_);
    const char* port = PQport(conn_);
    name_ = std::string("PostgreSQL ") + (db && *db ? db : "?") + " on " +
            (host && *host ? host : "localhost") + (port && *port ? std::string(":") + port : "");
    if (PQstatus(conn_) != CONNECTION_OK) {
        std::string why = oneline(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        throw DbError(name_ + ": cannot connect: " + why);
    }
    try {
        const std::string ms = std::to_string(lock_ms);
        exec("SELECT set_config('lock_timeout', $1, false)", {{ms}});
    } catch (...) {
        PQfinish(conn_);
        conn_ = nullptr;
        throw;
    }
}

PgDb::~PgDb() { PQfinish(conn_); }

// The server's message and SQLSTATE, or libpq's words when the server said
// nothing (a connection lost).
void PgDb::fail(pg_result* r)
{
    std::string msg;
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    if (primary) {
        msg = primary;
        if (state)
            msg += std::string(" (SQLSTATE ") + state + ")";
    } else {
        msg = oneline(PQerrorMessage(conn_));
        if (msg.empty())
            msg = "failed without a message";
    }
    PQclear(r);
    throw DbError(name_ + ": " + msg);
}

PgDb::Result PgDb::check(pg_result* r, int want)
{
    if (!r || PQresultStatus(r) != want)
        fail(r);
    return Result(r);
}

PgDb::Result PgDb::run(const char* sql, int n, const char* const* values, const int* lengths,
                       const int* formats, bool binary)
{
    PGresult* r = PQexecParams(conn_, sql, n, nullptr, values, lengths, formats, binary ? 1 : 0);
    if (r && PQresultStatus(r) == PGRES_TUPLES_OK)
        return Result(r);
    return check(r, PGRES_COMMAND_OK);
}

PgDb::Result PgDb::exec(const char* sql, std::initializer_list<Param> params, bool binary)
{
    // Text parameters go as C strings: copies, since a view need not end
    // in a NUL.
    std::vector<std::string> copies;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    copies.reserve(params.size());
    for (const Param& p : params) {
        copies.emplace_back(p.v);
        values.push_back(copies.back().c_str());
        lengths.push_back(int(p.v.size()));
        formats.push_back(p.bytes ? 1 : 0);
    }
    return run(sql, int(values.size()), values.data(), lengths.data(), formats.data(), binary);
}

PgDb::Result PgDb::execv(const char* sql, const std::vector<std::string>& params)
{
    std::vector<const char*> values;
    for (const std::string& p : params)
        values.push_back(p.c_str());
    return run(sql, int(values.size()), values.data(), nullptr, nullptr, false);
}

void PgDb::script(const char* sql) { check(PQexec(conn_, sql), PGRES_COMMAND_OK); }

void PgDb::copybegin(const char* sql) { check(PQexec(conn_, sql), PGRES_COPY_IN); }

void PgDb::copyput(std::string_view data)
{
    if (PQputCopyData(conn_, data.data(), int(data.size())) != 1)
        fail();
}

void PgDb::copyend()
{
    if (PQputCopyEnd(conn_, nullptr) != 1)
        fail();
    PGresult* r = PQgetResult(conn_);
    Result done = check(r, PGRES_COMMAND_OK);
    while ((r = PQgetResult(conn_)))
        PQclear(r);
}

void PgDb::rollback() noexcept
{
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK)
        return;
    if (PQtransactionStatus(conn_) == PQTRANS_ACTIVE) {  // inside a COPY
        PQputCopyEnd(conn_, "rolled back");
        while (PGresult* r = PQgetResult(conn_))
            PQclear(r);
    }
    PGTransactionStatusType t = PQtransactionStatus(conn_);
    if (t == PQTRANS_INTRANS || t == PQTRANS_INERROR)
        PQclear(PQexec(conn_, "ROLLBACK"));
}

PgDb::Result::~Result() { PQclear(r_); }
int PgDb::Result::rows() const { return PQntuples(r_); }
bool PgDb::Result::null(int row, int col) const { return PQgetisnull(r_, row, col); }

std::string_view PgDb::Result::text(int row, int col) const
{
    return {PQgetvalue(r_, row, col), size_t(PQgetlength(r_, row, col))};
}

long long PgDb::Result::binint(int row, int col) const
{
    const char* p = PQgetvalue(r_, row, col);
    if (PQgetlength(r_, row, col) == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return (long long)int32_t(be32toh(v));
    }
    uint64_t v = 0;
    std::memcpy(&v, p, std::min(size_t(PQgetlength(r_, row, col)), sizeof v));
    return (long long)be64toh(v);
}

long long PgDb::Result::textint(int row, int col) const
{
    std::string_view s = text(row, col);
    long long v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

long long PgDb::Result::affected() const
{
    const char* s = PQcmdTuples(r_);
    long long v = 0;
    std::from_chars(s, s + std::strlen(s), v);
    return v;
}
