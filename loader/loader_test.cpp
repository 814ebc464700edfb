// Incremental loading when an hourly file changes under the loader, and one
// transaction per file when the database fails in the middle of a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sqlite3.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "loader.h"
#include "pgdb.h"

namespace fs = std::filesystem;

namespace {

// A call of the file's hour, told apart by its first party n.
std::string calls(std::initializer_list<int> ns)
{
    std::string s;
    char b[64];
    for (int n : ns) {
        std::snprintf(b, sizeof b, ":%d|4012|0711|06122608%02d00|5|||01\n", n, n % 60);
        s += b;
    }
    return s;
}

class Loader : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("loader." + std::to_string(getpid()));
    fs::path root = dir / "cdr";
    std::string db = (dir / "cdr.sqlite").string();
    std::string rel = "12_2026/06_12_2026/06_12_2026:08";

    void SetUp() override
    {
        fs::remove_all(dir);
        fs::create_directories((root / rel).parent_path());
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& s)
    {
        std::ofstream(root / rel, std::ios::binary | std::ios::trunc) << s;
    }

    int load(std::string& err)
    {
        auto d = opensqlite(db, "north", 30000);
        std::ostringstream e;
        Tally t;
        int rc = loadtree(*d, root.string(), e, t);
        err = e.str();
        return rc;
    }

    // The query's rows, each followed by a blank.
    std::string sql(const char* q)
    {
        sqlite3* h;
        std::string out;
        EXPECT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
        auto add = [](void* o, int n, char** v, char**) {
            for (int i = 0; i < n; i++)
                *static_cast<std::string*>(o) += std::string(v[i] ? v[i] : "NULL") +
                                                 (i + 1 < n ? "" : " ");
            return 0;
        };
        EXPECT_EQ(sqlite3_exec(h, q, add, &out, nullptr), SQLITE_OK) << sqlite3_errmsg(h);
        sqlite3_close(h);
        return out;
    }
    // The rows after the first ten as first-party@generation:line, in the
    // order loaded.
    std::string rows()
    {
        return sql("SELECT first_party || '@' || src_gen || ':' || src_line FROM cdr"
                   " WHERE id > 10 ORDER BY id");
    }
};

TEST_F(Loader, ChangedFileLoadsOnlyCallsNotYetLoaded)
{
    // Ten lines at first, so that the first and the last bytes the loader
    // knows a file by do not overlap.
    const std::string first = calls({11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    const std::string again = ": changed since it was read up to line 10: read again from line 1, ";
    const struct {
        const char* what;
        std::string after;   // the file's content at the second run
        bool forget;         // its record lost (as an upgrade marks it) before it
        const char* rows;    // the rows the second run added
        std::string notice;  // what the second run says after the file's path
    } cases[] = {
        {"appended", first + calls({21}), false, "21@1:11 ", ""},
        {"made anew, shorter", calls({31, 32}), false, "31@2:1 32@2:2 ",
         again + "0 calls already loaded, 2 new\n"},
        {"truncated and refilled past the old end",
         calls({31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41}), false,
         "31@2:1 32@2:2 33@2:3 34@2:4 35@2:5 36@2:6 37@2:7 38@2:8 39@2:9 40@2:10 41@2:11 ",
         again + "0 calls already loaded, 11 new\n"},
        {"restored from an older copy, then appended", calls({11, 12, 13, 14, 15, 21}), false,
         "21@2:6 ", again + "5 calls already loaded, 1 new\n"},
        {"a line put in before the end", calls({11, 12, 13, 14, 15, 16, 17, 18, 19, 51, 20, 11}),
         false, "51@2:10 11@2:12 ", again + "10 calls already loaded, 2 new\n"},
        {"the first line rewritten", calls({71, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}), false,
         "71@2:1 21@2:11 ", again + "9 calls already loaded, 2 new\n"},
        {"its record lost, then appended", first + calls({21}), true, "21@2:11 ",
         ": no record of how far it was read: read from line 1, 10 calls already loaded, 1 new\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir);
        SetUp();
        std::string err;
        write(first);
        ASSERT_EQ(load(err), 0);
        ASSERT_EQ(sql("SELECT count(*) FROM cdr"), "10 ");

        write(c.after);
        if (c.forget)
            sql("UPDATE cdr_file SET bytes = -1, lines = 0, mtime_ns = 0, head = '', tail = ''");
        EXPECT_EQ(load(err), 0);
        EXPECT_EQ(rows(), c.rows);
        EXPECT_EQ(err, c.notice.empty() ? "" : (root / rel).string() + c.notice);

        // Nothing new: nothing loaded, nothing said.
        EXPECT_EQ(load(err), 0);
        EXPECT_EQ(rows(), c.rows);
        EXPECT_EQ(err, "");
    }
}

TEST_F(Loader, DatabaseFailureLeavesTheFileUnread)
{
    write(calls({1}) + "garbage\n" + calls({2, 3}));
    opensqlite(db, "north", 30000);
    sql("CREATE TRIGGER fail BEFORE INSERT ON cdr_call WHEN NEW.line = 3"
        " BEGIN SELECT RAISE(ABORT, 'disk full'); END");

    const char* ids = "SELECT first_party || '@' || src_gen || ':' || src_line FROM cdr";
    std::string err;
    EXPECT_THROW(load(err), DbError);
    EXPECT_EQ(sql("SELECT count(*) FROM cdr"), "0 ");
    EXPECT_EQ(sql("SELECT count(*) FROM cdr_file"), "0 ");

    sql("DROP TRIGGER fail");
    EXPECT_EQ(load(err), 1);
    EXPECT_EQ(err, (root / rel).string() + ":2: not a CDR line\n");
    EXPECT_EQ(sql(ids), "1@1:1 2@1:3 3@1:4 ");
    EXPECT_EQ(load(err), 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(sql(ids), "1@1:1 2@1:3 3@1:4 ");
}

TEST_F(Loader, FollowsNoSymbolicLinkBelowTheTree)
{
    // A real tree of one call elsewhere, for the links to point into.
    const fs::path real = dir / "real";
    fs::create_directories((real / rel).parent_path());
    std::ofstream(real / rel) << calls({1});
    const char* levels[] = {"12_2026", "12_2026/06_12_2026", rel.c_str()};
    for (const char* link : levels) {
        SCOPED_TRACE(link);
        fs::remove_all(root);
        for (const char* f : {"", "-wal", "-shm"})
            fs::remove(db + f);
        fs::create_directories((root / link).parent_path());
        fs::create_symlink(real / link, root / link);
        const std::string said = (root / link).string() + ": a symbolic link: skipped\n";
        std::string err;
        EXPECT_EQ(load(err), 1);
        EXPECT_EQ(err, said);
        // The same when the link took the file's place after the tree was walked.
        auto d = opensqlite(db, "north", 30000);
        std::ostringstream e;
        Tally t;
        EXPECT_FALSE(loadhour(*d, root.string(), {rel, {2026, 12, 6, 8}}, e, t));
        EXPECT_EQ(e.str(), said);
        EXPECT_EQ(sql("SELECT count(*) FROM cdr"), "0 ");
    }
    // CDRDIR itself may be a link: the operator's choice.
    fs::remove_all(root);
    fs::create_directory_symlink(real, root);
    std::string err;
    EXPECT_EQ(load(err), 0);
    EXPECT_EQ(sql("SELECT count(*) FROM cdr"), "1 ");
}

TEST_F(Loader, OverlongLineIsBadOnceAndNeverLoadedInPart)
{
    const std::string over(MAXLINE + 1, 'x'), most(MAXLINE, 'x');
    auto bad = [&](long long from, long long to, const char* why) {
        std::string s;
        for (long long n = from; n <= to; n++)
            s += (root / rel).string() + ':' + std::to_string(n) + ": " + why + '\n';
        return s;
    };
    const struct {
        const char* what;
        std::string added;  // appended to the file before the run
        std::string said;
        const char* rows;   // first-party:line of every row so far
    } runs[] = {
        {"an overlong line without its line feed yet", calls({1}) + over,
         bad(2, 2, "longer than any CDR line"), "1:1 "},
        {"more of it, still without a line feed", std::string(1 << 20, 'x'), "", "1:1 "},
        {"its end looks like a call", calls({2, 3}), "", "1:1 3:3 "},
        {"as long as a line may be, then one byte longer", most + '\n' + over + '\n' + calls({4}),
         bad(4, 4, "not a CDR line") + bad(5, 5, "longer than any CDR line"), "1:1 3:3 4:6 "},
        {"more bad lines than are named", std::string(MAXBAD + 2, '\n'),
         bad(7, 6 + MAXBAD, "not a CDR line") + (root / rel).string() +
             ": 2 more bad lines, not named\n",
         "1:1 3:3 4:6 "},
    };
    std::string content, err;
    for (const auto& r : runs) {
        SCOPED_TRACE(r.what);
        write(content += r.added);
        EXPECT_EQ(load(err), r.said.empty() ? 0 : 1);
        EXPECT_EQ(err, r.said);
        EXPECT_EQ(sql("SELECT first_party || ':' || src_line FROM cdr ORDER BY id"), r.rows);
    }
}

TEST_F(Loader, ReadersNeverBlockItAndAWriterIsNamed)
{
    write(calls({1}));
    std::string err;
    ASSERT_EQ(load(err), 0);

    // An accounting query in the middle of its read transaction.
    sqlite3* reader;
    ASSERT_EQ(sqlite3_open(db.c_str(), &reader), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM cdr", nullptr, nullptr, nullptr),
              SQLITE_OK);
    write(calls({1, 2}));
    {
        auto d = opensqlite(db, "north", 100);
        std::ostringstream e;
        Tally t;
        EXPECT_EQ(loadtree(*d, root.string(), e, t), 0);
    }
    sqlite3_close(reader);
    EXPECT_EQ(sql("SELECT count(*) FROM cdr"), "2 ");

    // Another process in the middle of a write transaction.
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        close(done[1]);  // so that the parent's close ends the read below
        sqlite3* w;
        bool ok = sqlite3_open(db.c_str(), &w) == SQLITE_OK &&
                  sqlite3_exec(w, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        char c;
        if (::write(ready[1], ok ? "y" : "n", 1) == 1)
            (void)!::read(done[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    EXPECT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    try {
        opensqlite(db, "north", 100);
        ADD_FAILURE() << "opened while another process writes";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.what()).find("(pid " + std::to_string(writer) +
                                             ") holds a write lock on it; waited 0.1 s"),
                  std::string::npos)
            << e.what();
    }
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
    waitpid(writer, nullptr, 0);
}

// A database of schema 1 (one site, the file's path in every row) is
// upgraded in place at the first run, in one transaction, its rows taking
// the site given; a newer schema is refused, and an upgrade that fails
// leaves the database as it was.
TEST_F(Loader, SchemaOneIsUpgradedInPlace)
{
    const std::string rel2 = "12_2026/06_12_2026/06_12_2026:09";
    const char* schema1 = R"(
        CREATE TABLE cdr (id INTEGER PRIMARY KEY, first_party TEXT, second_party TEXT,
            dialled TEXT, end_time TEXT NOT NULL, duration INTEGER NOT NULL,
            meter INTEGER NOT NULL, charge TEXT, type INTEGER NOT NULL, direction TEXT NOT NULL,
            assisted INTEGER NOT NULL, src_file TEXT NOT NULL, src_gen INTEGER NOT NULL,
            src_line INTEGER NOT NULL, UNIQUE (src_file, src_gen, src_line));
        CREATE INDEX cdr_end_time ON cdr (end_time);
        CREATE TABLE loaded_file (path TEXT PRIMARY KEY, bytes INTEGER NOT NULL,
            lines INTEGER NOT NULL, generation INTEGER NOT NULL, mtime_ns INTEGER NOT NULL,
            head BLOB NOT NULL, tail BLOB NOT NULL);
        PRAGMA user_version = 1;)";
    // Three calls of the hour read and recorded; one of the next hour
    // whose record was deleted by hand.
    const std::string first = calls({1, 2, 3});
    std::string hex;
    for (unsigned char c : first)
        hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
    const std::string rows =
        "INSERT INTO cdr VALUES (1, '1', '4012', '0711', '2026-12-06 08:01:00', 20, 0, NULL,"
        " 1, 'out', 0, '" + rel + "', 1, 1), (2, '2', '4012', '0711', '2026-12-06 08:02:00',"
        " 20, 0, NULL, 1, 'out', 0, '" + rel + "', 1, 2), (3, '3', '4012', '0711',"
        " '2026-12-06 08:03:00', 20, 0, NULL, 1, 'out', 0, '" + rel + "', 1, 3), (7, '5',"
        " '4012', NULL, '2026-12-06 09:05:00', 20, 3, '42', 65, 'out', 1, '" + rel2 + "', 1, 1);"
        "INSERT INTO loaded_file VALUES ('" + rel + "', " + std::to_string(first.size()) +
        ", 3, 1, 0, x'" + hex + "', x'" + hex + "');";
    const std::string view = "SELECT id || ' ' || site || ' ' || first_party || ' ' || end_time"
                             " || ' ' || direction || assisted || ' ' || src_file || '@' ||"
                             " src_gen || ':' || src_line FROM cdr ORDER BY id";

    write(first + calls({4}));
    std::ofstream(root / rel2) << ":5|4012||061226090500|5|3|42|41\n:6|4012||061226090600|5|||01\n";
    sql(schema1);
    sql(rows.c_str());
    std::string err;
    EXPECT_EQ(load(err), 0);
    EXPECT_EQ(err, (root / rel2).string() + ": no record of how far it was read: read from"
                   " line 1, 1 calls already loaded, 1 new\n");
    EXPECT_EQ(sql(view.c_str()),
              "1 north 1 2026-12-06 08:01:00 out0 " + rel + "@1:1 2 north 2 2026-12-06 08:02:00 out0 " +
                  rel + "@1:2 3 north 3 2026-12-06 08:03:00 out0 " + rel + "@1:3 7 north 5 2026-12-06"
                  " 09:05:00 out1 " + rel2 + "@1:1 8 north 4 2026-12-06 08:04:00 out0 " + rel +
                  "@1:4 9 north 6 2026-12-06 09:06:00 out0 " + rel2 + "@2:2 ");
    EXPECT_EQ(sql("PRAGMA user_version"), "2 ");
    EXPECT_EQ(sql("SELECT count(*) FROM sqlite_master WHERE name IN ('loaded_file', 'cdr_end_time')"), "0 ");

    sql("PRAGMA user_version = 3");
    try {
        opensqlite(db, "north", 100);
        ADD_FAILURE() << "a newer schema opened";
    } catch (const DbError& e) {
        EXPECT_EQ(e.what(), db + ": made by a newer morva-cdrload (schema 3; this one knows 2)");
    }

    // A row that cannot be upgraded: the database stays of schema 1, whole.
    fs::remove_all(dir);
    SetUp();
    sql(schema1);
    sql((rows + "UPDATE cdr SET end_time = 'noon' WHERE id = 3").c_str());
    EXPECT_THROW(opensqlite(db, "north", 100), DbError);
    EXPECT_EQ(sql("PRAGMA user_version"), "1 ");
    EXPECT_EQ(sql("SELECT count(*) FROM cdr"), "4 ");
}

// A tree stays under the site it was first loaded under, or all its calls
// would be loaded again under the new name.
TEST_F(Loader, ATreeKeepsItsSite)
{
    write(calls({1, 2}));
    std::string err;
    ASSERT_EQ(load(err), 0);
    auto loadas = [&](const char* site, bool given) -> std::string {
        try {
            auto d = opendb(db, site, given);
            std::ostringstream e;
            Tally t;
            return std::to_string(loadtree(*d, root.string(), e, t));
        } catch (const DbError& e) {
            return e.what();
        }
    };
    // A renamed host goes on with the one site; a new --site is refused.
    write(calls({1, 2, 3}));
    EXPECT_EQ(loadas("renamed-host", false), "0");
    const std::string refused = loadas("o'neill", true);
    EXPECT_NE(refused.find("UPDATE cdr_file SET site = 'o''neill' WHERE site = 'north'"),
              refused.npos) << refused;
    // Several sites, none the host's name: refused, naming them.
    sql("INSERT INTO cdr_file (site, path, bytes, lines, generation, mtime_ns, head, tail)"
        " VALUES ('east', 'x', 0, 0, 1, 0, '', '')");
    EXPECT_EQ(loadas("renamed-host", false),
              db + ": holds the calls of the sites 'east', 'north', none named as this host"
                   " ('renamed-host'): give the site of the tree with --site (MORVA_SITE)");
    EXPECT_EQ(sql("SELECT site || ':' || first_party FROM cdr"), "north:1 north:2 north:3 ");
}

// A password never shows: neither in libpq's words on a string it cannot
// read, nor in a host or database name an @ or / of it makes of its rest.
TEST(PgConnection, NeverSaysThePassword)
{
    for (const char* conninfo : {"postgresql://morva:s3cr3t@[::1/calls",
                                 "postgresql://morva:s3@cr3t@127.0.0.1:1/calls",
                                 "postgresql://morva:s3/cr3t@127.0.0.1:1/calls",
                                 "host=127.0.0.1 port=1 password=s3 cr3t"}) {
        try {
            PgDb db(conninfo, "morva-cdrload", 100);
            ADD_FAILURE() << conninfo << ": connected";
        } catch (const DbError& e) {
            const std::string what = e.what();
            EXPECT_TRUE(what.starts_with("PostgreSQL: connection string cannot be read: ")) << what;
            EXPECT_EQ(what.find("cr3t"), what.npos) << what;
        }
    }
}

}  // namespace
