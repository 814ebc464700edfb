// Reads each hourly file on from where the last run stopped. A file that no
// longer holds the bytes read last time (moved away and made anew by the
// packer, truncated, restored, edited) is read again from its first line,
// and its calls already in the table are not loaded again.
#include "loader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

constexpr long long PRINT = 128;  // bytes of head and tail kept to know a file by

struct Fd {
    int fd;
    ~Fd() { if (fd >= 0) close(fd); }
};

// n bytes at off, or fewer when the file ends or a read fails.
std::string bytesat(int fd, long long off, long long n)
{
    std::string s(size_t(n), '\0');
    size_t got = 0;
    while (got < s.size()) {
        ssize_t k = pread(fd, s.data() + got, s.size() - got, off_t(off + got));
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            break;
        got += size_t(k);
    }
    s.resize(got);
    return s;
}

// The file's status as the tree walk takes it (fstatat), so that the times
// it stores compare with the walk's; a preloaded library may rewrite what
// fstat says (the end-to-end cases' clock does) and not what fstatat says.
bool statfd(int fd, struct stat& sb) { return fstatat(fd, "", &sb, AT_EMPTY_PATH) == 0; }

std::string head(int fd, long long bytes) { return bytesat(fd, 0, std::min(bytes, PRINT)); }

std::string tail(int fd, long long bytes)
{
    long long n = std::min(bytes, PRINT);
    return bytesat(fd, bytes - n, n);
}

// Cuts the bytes of a file into lines, looking at each byte once and
// holding at most MAXLINE bytes of a line not yet ended. A longer line is
// bad as soon as it is seen, and what follows it up to its line feed is
// passed over, in this run or in the next.
class Cutter {
public:
    Cutter(long long from, bool inlong) : pos_(from), skipping_(inlong) {}

    // whole(line) for each line ended, toolong() for each line seen to be
    // longer than MAXLINE.
    template <class Whole, class TooLong>
    void feed(const char* p, size_t n, Whole whole, TooLong toolong)
    {
        for (const char* end = p + n; p < end;) {
            auto nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            size_t len = size_t((nl ? nl : end) - p);
            if (skipping_) {
            } else if (part_.size() + len > MAXLINE) {
                toolong();
                skipping_ = true;
                part_.clear();
            } else if (nl && part_.empty()) {
                whole(std::string_view(p, len));
            } else {
                part_.append(p, len);
                if (nl) {
                    whole(std::string_view(part_));
                    part_.clear();
                }
            }
            if (nl)
                skipping_ = false;
            p = nl ? nl + 1 : end;
        }
        pos_ += (long long)n;
    }

    // Reads fd from where the cutter stands to its end, in 64 KiB blocks;
    // false with errno set when a read fails.
    template <class Whole, class TooLong>
    bool readon(int fd, Whole whole, TooLong toolong)
    {
        char buf[65536];
        for (;;) {
            ssize_t k = pread(fd, buf, sizeof buf, off_t(pos_));
            if (k < 0 && errno == EINTR)
                continue;
            if (k <= 0)
                return k == 0;
            feed(buf, size_t(k), whole, toolong);
        }
    }

    // Where the next run reads on: after the last line ended, or at the end
    // of the bytes of an overlong line already told.
    long long done() const { return pos_ - (long long)part_.size(); }

private:
    long long pos_;
    bool skipping_;
    std::string part_;
};

}  // namespace

bool loadhour(CdrDb& db, const std::string& root, const HourFile& f, std::ostream& err,
              Tally& tally)
{
    const std::string path = treepath(root, f.rel);
    auto skip = [&](const std::string& at, const char* why) {
        err << at << ": " << why << '\n';
        db.rollback();
        return false;
    };
    auto cannot = [&](const char* what) {
        return skip(path, (std::string("cannot ") + what + ": " + std::strerror(errno)).c_str());
    };

    try {
        FileState st = db.begin(f.rel), before;
        bool known = st.generation > 0 && st.bytes >= 0;
        // Replaced by a link or a FIFO since the tree was walked: still not read.
        std::string at;
        Fd in{openhour(root, f.rel, at)};
        struct stat sb;
        if (in.fd < 0)
            return errno == ELOOP ? skip(at, "a symbolic link: skipped") : cannot("open");
        if (!statfd(in.fd, sb))
            return cannot("read");
        if (!S_ISREG(sb.st_mode))
            return skip(path, "not a regular file: skipped");

        // A file read before must still hold what was read. One with rows
        // but no record of how far it was read (its record was lost before
        // the database was upgraded) is read as a changed one, so that its
        // rows are not doubled.
        bool changed;
        if (known)
            changed = sb.st_size < st.bytes || head(in.fd, st.bytes) != st.head ||
                      tail(in.fd, st.bytes) != st.tail;
        else
            changed = st.generation > 0;
        std::unordered_map<std::string, int> have;
        if (changed) {
            have = db.calls(st.id);
            before = st;
            st.bytes = st.lines = 0;
        }
        if (changed || !known)
            st.generation++;

        // Only whole lines are taken: what follows the last line feed waits
        // for the next run, unless it is already too long to be a CDR line.
        std::vector<std::string> bad;
        long long nbad = 0, again = 0;
        CdrRow row;
        auto badline = [&](const char* why) {
            if (++nbad <= MAXBAD)
                bad.push_back(path + ':' + std::to_string(st.lines) + ": " + why);
        };
        auto whole = [&](std::string_view line) {
            st.lines++;
            if (const char* why = parse_cdr(line, f.hour, row))
                return badline(why);
            if (changed) {
                auto it = have.find(row.key());
                if (it != have.end() && it->second > 0) {
                    it->second--;
                    again++;
                    return;
                }
            }
            db.add(row, st.id, st.generation, st.lines);
        };
        auto toolong = [&] {
            st.lines++;
            badline("longer than any CDR line");
        };
        // A run that stopped inside an overlong line left bytes after no line feed.
        Cutter cut(st.bytes, st.bytes > 0 && !st.tail.empty() && st.tail.back() != '\n');
        if (!cut.readon(in.fd, whole, toolong))
            return cannot("read");
        st.bytes = cut.done();

        errno = EIO;  // a short read without an error is a file cut meanwhile
        st.head = head(in.fd, st.bytes);
        st.tail = tail(in.fd, st.bytes);
        if (st.head.size() != size_t(std::min(st.bytes, PRINT)) ||
            st.tail.size() != st.head.size() || !statfd(in.fd, sb))
            return cannot("read");
        st.mtime_ns = mtime_ns(sb);
        long long loaded = db.commit(st);
        tally.files++;
        tally.rows += loaded;
        tally.bad += nbad;

        // Told only once the lines are in: a run that fails before never
        // reports a line the next run reads again.
        if (changed && known)
            err << path << ": changed since it was read up to line " << before.lines
                << ": read again from line 1, " << again << " calls already loaded, "
                << loaded << " new\n";
        else if (changed)
            err << path << ": no record of how far it was read: read from line 1, " << again
                << " calls already loaded, " << loaded << " new\n";
        for (const std::string& b : bad)
            err << b << '\n';
        if (nbad > MAXBAD)
            err << path << ": " << nbad - MAXBAD << " more bad lines, not named\n";
        return nbad == 0;
    } catch (...) {
        db.rollback();
        throw;
    }
}

int loadtree(CdrDb& db, const std::string& root, std::ostream& err, Tally& tally)
{
    std::vector<std::string> problems;
    std::vector<HourFile> files = findhours(root, problems);
    bool ok = problems.empty();
    for (const std::string& p : problems)
        err << p << '\n';

    // A file as long as the bytes read and not modified since has nothing
    // new: it is not even opened.
    std::map<std::string, FileState> known = db.states();
    for (const HourFile& f : files) {
        auto it = known.find(f.rel);
        if (it != known.end() && f.size == it->second.bytes && f.mtime_ns == it->second.mtime_ns)
            continue;
        if (!loadhour(db, root, f, err, tally))
            ok = false;
    }
    return ok ? 0 : 1;
}
