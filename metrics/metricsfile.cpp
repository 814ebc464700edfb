// The text format's escapes and numbers, and the write by rename.
#include "metricsfile.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool namechar(char c, bool first, bool colon)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           (colon && c == ':') || (!first && c >= '0' && c <= '9');
}

// A metric name may hold colons, a label name may not.
bool validname(std::string_view s, bool colon)
{
    if (s.empty())
        return false;
    for (size_t i = 0; i < s.size(); i++)
        if (!namechar(s[i], i == 0, colon))
            return false;
    return true;
}

// HELP text escapes backslash and line feed; a label value the double quote too.
void escaped(std::string& out, std::string_view s, bool quote)
{
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (quote && c == '"')
            out += "\\\"";
        else
            out += c;
    }
}

}  // namespace

MetricsFile::MetricsFile(std::string path) : path_(std::move(path))
{
    size_t slash = path_.rfind('/');
    source_ = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    constexpr std::string_view prom = ".prom";
    if (source_.size() > prom.size() && source_.ends_with(prom))
        source_.resize(source_.size() - prom.size());
}

void MetricsFile::clear()
{
    text_.clear();
    family_.clear();
}

void MetricsFile::invalid(std::string_view what, std::string_view name)
{
    if (bad_.empty())
        bad_ = path_ + ": not written: invalid " + std::string(what) + " '" + std::string(name) + "'";
}

void MetricsFile::family(std::string_view name, Type type, std::string_view help)
{
    if (!validname(name, true))
        invalid("metric name", name);
    family_.assign(name);
    text_ += "# HELP ";
    text_ += name;
    text_ += ' ';
    escaped(text_, help, false);
    text_ += "\n# TYPE ";
    text_ += name;
    text_ += type == counter ? " counter\n" : " gauge\n";
}

void MetricsFile::label(std::string_view name, std::string_view value)
{
    if (!validname(name, false) || name.starts_with("__"))
        invalid("label name", name);
    text_ += name;
    text_ += "=\"";
    escaped(text_, value, true);
    text_ += '"';
}

void MetricsFile::series(std::initializer_list<MetricLabel> labels, long long n, double x,
                         bool integer)
{
    if (family_.empty())
        invalid("sample before its family", "");
    text_ += family_;
    text_ += '{';
    label("source", source_);
    for (const MetricLabel& l : labels) {
        text_ += ',';
        label(l.name, l.value);
    }
    text_ += "} ";
    char buf[64];
    std::to_chars_result r{};
    if (integer)
        r = std::to_chars(buf, buf + sizeof buf, n);
    else if (std::isnan(x))
        r = {std::strcpy(buf, "NaN") + 3, std::errc()};
    else if (std::isinf(x))
        r = {std::strcpy(buf, x > 0 ? "+Inf" : "-Inf") + 4, std::errc()};
    else
        r = std::to_chars(buf, buf + sizeof buf, x);
    text_.append(buf, r.ptr);
    text_ += '\n';
}

bool MetricsFile::write(std::string& why)
{
    if (!bad_.empty()) {
        why = bad_;
        return false;
    }
    // A name of this process's own, so that two writers of one file never
    // share a temporary file; the collector reads only names ending in .prom.
    std::string tmp = path_ + ".tmp-" + std::to_string(getpid());
    // The temporary file goes with any failure after it was made.
    auto fail = [&](const char* step, int fd, bool made = true) {
        int e = errno;
        if (fd >= 0)
            close(fd);
        if (made)
            unlink(tmp.c_str());
        why = path_ + ": not written: " + step + ": " + std::strerror(e);
        return false;
    };

    // The file is replaced by a rename: something else at its name (a
    // device such as /dev/null, a FIFO, a folder) would be replaced too.
    struct stat sb;
    if (lstat(path_.c_str(), &sb) == 0 && !S_ISREG(sb.st_mode)) {
        errno = EINVAL;
        why = path_ + ": not written: not a regular file";
        return false;
    }
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    // One left by a process of the same number that died while writing.
    if (fd < 0 && errno == EEXIST && unlink(tmp.c_str()) == 0)
        fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("cannot create a temporary file", -1, false);
    // The collector runs as another user, whatever the umask of ours: the
    // figures hold no phone numbers.
    if (fchmod(fd, 0644) != 0)
        return fail("cannot set its mode", fd);
    for (size_t done = 0; done < text_.size();) {
        ssize_t k = ::write(fd, text_.data() + done, text_.size() - done);
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0)
            return fail("cannot write", fd);
        done += size_t(k);
    }
    int rc;
    while ((rc = fsync(fd)) != 0 && errno == EINTR) {
    }
    if (rc != 0)
        return fail("cannot write", fd);
    if (close(fd) != 0)
        return fail("cannot write", -1);
    if (rename(tmp.c_str(), path_.c_str()) != 0)
        return fail("cannot replace it", -1);
    return true;
}
