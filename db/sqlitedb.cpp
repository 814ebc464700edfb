// One SQLite connection through SQLite's C API: prepared statements only,
// every call checked, any failure thrown as a DbError.
#include "sqlitedb.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A lock another process holds, as the kernel tells it.
struct Lock {
    short type = F_UNLCK;
    pid_t pid = 0;  // 0 when unknown (another PID namespace)
};

// A descriptor this process has open on the file of sb, or -1. Locks are
// asked through it: closing any descriptor of a file would drop the locks
// SQLite holds on it.
int ownfd(const struct stat& sb)
{
    long max = sysconf(_SC_OPEN_MAX);
    max = max < 0 ? 1024 : std::min(max, 65536L);
    for (int fd = 0; fd < max; fd++) {
        struct stat st;
        if (fstat(fd, &st) == 0 && st.st_dev == sb.st_dev && st.st_ino == sb.st_ino)
            return fd;
    }
    return -1;
}

// The lock on len bytes from start of file that another process holds and
// a lock of type want would conflict with; type F_UNLCK when there is none.
Lock lockon(const std::string& file, off_t start, off_t len, short want)
{
    Lock l;
    struct stat sb;
    if (stat(file.c_str(), &sb) != 0)
        return l;
    int fd = ownfd(sb);
    bool mine = fd >= 0;
    if (!mine && (fd = open(file.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC)) < 0)
        return l;
    struct flock fl = {};
    fl.l_type = want;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = len;
    if (fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK) {
        l.type = fl.l_type;
        l.pid = fl.l_pid;
    }
    if (!mine)
        close(fd);
    return l;
}

std::string seconds(int ms)
{
    char s[32];
    std::snprintf(s, sizeof s, ms % 1000 ? "%.1f s" : "%.0f s", ms / 1000.0);
    return s;
}

}  // namespace

SqliteDb::Stmt::~Stmt() { sqlite3_finalize(s); }

void SqliteDb::Stmt::check(int rc)
{
    if (rc != SQLITE_OK)
        owner.fail();
}

// The index of the next parameter, $1 first; one named otherwise keeps its place.
int SqliteDb::Stmt::slot()
{
    ++next;
    return size_t(next) < slots.size() && slots[size_t(next)] ? slots[size_t(next)] : next;
}

SqliteDb::Stmt& SqliteDb::Stmt::text(std::string_view v, bool emptyisnull)
{
    if (emptyisnull && v.empty())
        check(sqlite3_bind_null(s, slot()));
    else
        check(sqlite3_bind_text(s, slot(), v.data(), int(v.size()), SQLITE_TRANSIENT));
    return *this;
}

SqliteDb::Stmt& SqliteDb::Stmt::ref(std::string_view v, bool emptyisnull)
{
    if (emptyisnull && v.empty())
        check(sqlite3_bind_null(s, slot()));
    else
        check(sqlite3_bind_text(s, slot(), v.data(), int(v.size()), SQLITE_STATIC));
    return *this;
}

SqliteDb::Stmt& SqliteDb::Stmt::blob(const std::string& v)
{
    check(sqlite3_bind_blob(s, slot(), v.data(), int(v.size()), SQLITE_TRANSIENT));
    return *this;
}

SqliteDb::Stmt& SqliteDb::Stmt::integer(long long v)
{
    check(sqlite3_bind_int64(s, slot(), v));
    return *this;
}

// True while there is a row; false at the end, when it is reset.
bool SqliteDb::Stmt::step()
{
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        owner.fail();
    done();
    return false;
}

void SqliteDb::Stmt::number()
{
    int n = sqlite3_bind_parameter_count(s);
    slots.assign(size_t(n) + 1, 0);
    for (int i = 1; i <= n; i++) {
        const char* name = sqlite3_bind_parameter_name(s, i);
        int k = name && name[0] == '$' ? std::atoi(name + 1) : 0;
        if (k > 0 && k <= n)
            slots[size_t(k)] = i;
    }
}

void SqliteDb::Stmt::done()
{
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    next = 0;
}

std::string_view SqliteDb::Stmt::colview(int i)
{
    const void* p = sqlite3_column_blob(s, i);
    int n = sqlite3_column_bytes(s, i);
    if (!p && sqlite3_errcode(owner.db_) == SQLITE_NOMEM)
        owner.fail();
    return p ? std::string_view(static_cast<const char*>(p), size_t(n)) : std::string_view();
}

long long SqliteDb::Stmt::colint(int i) { return sqlite3_column_int64(s, i); }

void SqliteDb::fail()
{
    throw DbError(path_ + ": " + why());
}

// The error of the last failed system call on the database's log or
// journal, or on the database file: SQLite's own record of it is the errno
// left after the statement rolled back, often 0 by then.
int SqliteDb::syserr()
{
    int e = 0;
    sqlite3_file* log = nullptr;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) == SQLITE_OK &&
        log && log->pMethods && log->pMethods->xFileControl)
        log->pMethods->xFileControl(log, SQLITE_FCNTL_LAST_ERRNO, &e);
    if (e == 0 && sqlite3_file_control(db_, "main", SQLITE_FCNTL_LAST_ERRNO, &e) != SQLITE_OK)
        e = 0;
    return e ? e : sqlite3_system_errno(db_);
}

// SQLite's words for the last failure, with what the system said, or with
// who holds the database when it is locked.
std::string SqliteDb::why()
{
    std::string msg = sqlite3_errmsg(db_);
    int sys = syserr();
    switch (sqlite3_extended_errcode(db_) & 0xff) {
    case SQLITE_BUSY:
        msg += ": " + holder();
        break;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        if (sys)
            msg += std::string(" (") + std::strerror(sys) + ")";
        break;
    }
    return msg;
}

// Who holds the database, from the lock bytes of SQLite's file formats: in
// WAL mode the one writer locks byte 120 of the -shm file; from 0x40000000
// of the database file a writer in rollback mode, or any connection in
// exclusive mode, holds a write lock, and a reader in rollback mode a read
// lock (in WAL mode every connection holds one, and it blocks nobody).
std::string SqliteDb::holder()
{
    constexpr off_t PENDING = 0x40000000, SHARED = PENDING + 2, SHAREDSIZE = 510;
    const char* name = sqlite3_db_filename(db_, "main");  // links resolved, as SQLite names -shm
    const std::string file = name && *name ? name : path_;
    Lock l;
    if (wal_)
        l = lockon(file + "-shm", 120, 1, F_RDLCK);
    if (l.type == F_UNLCK)
        l = lockon(file, PENDING, SHARED + SHAREDSIZE - PENDING, F_RDLCK);
    if (l.type == F_UNLCK && !wal_)
        l = lockon(file, SHARED, SHAREDSIZE, F_WRLCK);

    std::string s = "another process";
    if (l.pid > 0)
        s += " (pid " + std::to_string(l.pid) + ")";
    s += l.type == F_WRLCK ? " holds a write lock on it"
         : l.type == F_RDLCK ? " holds a read lock on it"
                             : " holds a lock on it";
    if (gaveup_ms_ >= 0)
        s += "; waited " + seconds(gaveup_ms_);
    gaveup_ms_ = -1;
    return s;
}

// As SQLite's own timeout: short sleeps first, then 100 ms ones. The sleeps
// are added up rather than the clock read, so that a clock set back or
// frozen cannot make the wait endless.
int SqliteDb::onbusy(void* self, int count)
{
    static const int steps[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50};
    SqliteDb& db = *static_cast<SqliteDb*>(self);
    if (count == 0) {
        db.waited_ms_ = 0;
        db.gaveup_ms_ = -1;
    }
    int left = db.busy_ms_ - db.waited_ms_;
    if (left <= 0) {
        db.gaveup_ms_ = db.waited_ms_;
        return 0;
    }
    int ms = std::min(size_t(count) < std::size(steps) ? steps[count] : 100, left);
    sqlite3_sleep(ms);
    db.waited_ms_ += ms;
    return 1;
}

std::unique_ptr<SqliteDb::Stmt> SqliteDb::prepare(const char* sql)
{
    auto st = std::make_unique<Stmt>(*this);
    if (sqlite3_prepare_v2(db_, sql, -1, &st->s, nullptr) != SQLITE_OK)
        fail();
    st->number();
    return st;
}

void SqliteDb::exec(const char* sql)
{
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}

void SqliteDb::run(const char* sql, std::string_view p)
{
    while (*sql) {
        Stmt st(*this);
        const char* rest = sql;
        if (sqlite3_prepare_v2(db_, sql, -1, &st.s, &rest) != SQLITE_OK)
            fail();
        sql = rest;
        if (!st.s)  // only blanks were left
            continue;
        st.number();
        if (sqlite3_bind_parameter_count(st.s) > 0)
            st.text(p);
        while (st.step()) {
        }
    }
}

SqliteDb::SqliteDb(const std::string& path, bool readonly, int busy_ms)
    : path_(path), busy_ms_(busy_ms)
{
    // One thread uses a connection: SQLite's own locks around every call
    // would only cost time.
    int flags = readonly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = path + ": cannot open: " + (db_ ? why() : sqlite3_errstr(rc));
        sqlite3_close(db_);
        db_ = nullptr;
        throw DbError(msg);
    }
    try {
        if (sqlite3_extended_result_codes(db_, 1) != SQLITE_OK ||
            sqlite3_busy_handler(db_, onbusy, this) != SQLITE_OK)
            fail();
        if (!readonly && sqlite3_db_readonly(db_, "main") == 1)
            throw DbError(path + ": cannot be written");
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

// The owner finalizes its statements first: a connection with statements
// left does not close.
SqliteDb::~SqliteDb() { sqlite3_close(db_); }

void SqliteDb::rollback() noexcept
{
    if (db_ && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}
