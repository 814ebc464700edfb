// The back end a DATABASE argument names, and the site a run loads under.
#include "cdrdb.h"

#include "pgdb.h"

namespace {

// A site as an SQL string literal.
std::string quoted(const std::string& site)
{
    std::string q = "'";
    for (char c : site)
        q += c == '\'' ? "''" : std::string(1, c);
    return q + "'";
}

}  // namespace

std::unique_ptr<CdrDb> opendb(const std::string& database, const std::string& site, bool given,
                              int wait_ms)
{
    bool central = ispgconninfo(database);
    auto db = central ? openpg(database, site, wait_ms) : opensqlite(database, site, wait_ms);
    if (central && given)
        return db;
    std::vector<std::string> there = db->sites(site);
    if (there.empty() || there[0] == site)
        return db;
    if (!central && there.size() == 1) {
        if (!given) {
            db->usesite(there[0]);
            return db;
        }
        throw DbError(db->name() + ": holds the calls of the site " + quoted(there[0]) +
                      " alone: loading the tree as " + quoted(site) + " would load all its calls"
                      " again under a new name. If the site was renamed, rename it in the"
                      " database first: UPDATE cdr_file SET site = " + quoted(site) +
                      " WHERE site = " + quoted(there[0]) + "; another site's calls go into a"
                      " database of their own");
    }
    if (given)
        return db;
    std::string names;
    for (const std::string& s : there)
        names += (names.empty() ? "" : ", ") + quoted(s);
    throw DbError(db->name() + ": holds the calls of the sites " + names + ", none named as this"
                  " host (" + quoted(site) + "): give the site of the tree with --site"
                  " (MORVA_SITE)");
}
