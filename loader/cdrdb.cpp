// The back end a DATABASE argument names.
#include "cdrdb.h"

#include "pgdb.h"

std::unique_ptr<CdrDb> opendb(const std::string& database, const std::string& site, int wait_ms)
{
    if (ispgconninfo(database))
        return openpg(database, site, wait_ms);
    return opensqlite(database, site, wait_ms);
}
