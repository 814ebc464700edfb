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

long long mtime_ns(const struct stat& sb)
{
    return (long long)sb.st_mtim.tv_sec * 1000000000LL + sb.st_mtim.tv_nsec;
}

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

std::string head(int fd, long long bytes) { return bytesat(fd, 0, std::min(bytes, PRINT)); }

std::string tail(int fd, long long bytes)
{
    long long n = std::min(bytes, PRINT);
    return bytesat(fd, bytes - n, n);
}

}  // namespace

bool loadhour(CdrDb& db, const std::string& root, const HourFile& f, std::ostream& err)
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

    db.begin();
    try {
        FileState st, before;
        bool known = db.state(f.rel, st);
        // Replaced by a link or a FIFO since the tree was walked: still not read.
        std::string at;
        Fd in{openhour(root, f.rel, at)};
        struct stat sb;
        if (in.fd < 0)
            return errno == ELOOP ? skip(at, "a symbolic link: skipped") : cannot("open");
        if (fstat(in.fd, &sb) != 0)
            return cannot("read");
        if (!S_ISREG(sb.st_mode))
            return skip(path, "not a regular file: skipped");

        // A file read before must still hold what was read. One with rows
        // but no record of how far it was read (the record deleted by hand)
        // is read as a changed one, so that its rows are not doubled.
        bool changed;
        if (known) {
            changed = sb.st_size < st.bytes || head(in.fd, st.bytes) != st.head ||
                      tail(in.fd, st.bytes) != st.tail;
        } else {
            st.generation = db.lastgen(f.rel);
            changed = st.generation > 0;
        }
        std::unordered_map<std::string, int> have;
        if (changed) {
            have = db.calls(f.rel);
            before = st;
            st.bytes = st.lines = 0;
        }
        if (changed || !known)
            st.generation++;

        // Only whole lines are taken: what follows the last line feed waits
        // for the next run.
        std::vector<std::string> bad;
        long long loaded = 0, again = 0;
        std::string carry;
        char buf[65536];
        for (long long pos = st.bytes;;) {
            ssize_t k = pread(in.fd, buf, sizeof buf, off_t(pos));
            if (k < 0 && errno == EINTR)
                continue;
            if (k < 0)
                return cannot("read");
            if (k == 0)
                break;
            pos += k;
            carry.append(buf, size_t(k));
            size_t start = 0, nl;
            while ((nl = carry.find('\n', start)) != carry.npos) {
                std::string_view line(carry.data() + start, nl - start);
                start = nl + 1;
                st.lines++;
                CdrRow row;
                if (const char* why = parse_cdr(line, f.hour, row)) {
                    bad.push_back(path + ':' + std::to_string(st.lines) + ": " + why);
                    continue;
                }
                if (changed) {
                    auto it = have.find(row.key());
                    if (it != have.end() && it->second > 0) {
                        it->second--;
                        again++;
                        continue;
                    }
                }
                db.insert(row, f.rel, st.generation, st.lines);
                loaded++;
            }
            st.bytes += (long long)start;
            carry.erase(0, start);
        }

        errno = EIO;  // a short read without an error is a file cut meanwhile
        st.head = head(in.fd, st.bytes);
        st.tail = tail(in.fd, st.bytes);
        if (st.head.size() != size_t(std::min(st.bytes, PRINT)) ||
            st.tail.size() != st.head.size() || fstat(in.fd, &sb) != 0)
            return cannot("read");
        st.mtime_ns = mtime_ns(sb);
        db.setstate(f.rel, st);
        db.commit();

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
        return bad.empty();
    } catch (...) {
        db.rollback();
        throw;
    }
}

int loadtree(CdrDb& db, const std::string& root, std::ostream& err)
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
        if (!loadhour(db, root, f, err))
            ok = false;
    }
    return ok ? 0 : 1;
}
