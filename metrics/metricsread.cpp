// A reader of the text format as the writers here produce it and as
// Prometheus defines it: name, optional {labels}, value, optional timestamp.
#include "metricsread.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t MAXFILE = 1 << 20;

bool isname(char c, bool first)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           (!first && c >= '0' && c <= '9');
}

// Cuts one sample line; false at the first thing out of place.
class Line {
public:
    explicit Line(std::string_view s) : s_(s) {}

    bool parse(MetricSample& m)
    {
        if (!name(m.name))
            return false;
        if (peek() == '{' && !labels(m))
            return false;
        if (!blanks())
            return false;
        std::string_view v = word();
        if (!number(v, m.value))
            return false;
        // An optional timestamp in milliseconds, then nothing.
        blanks();
        std::string_view ts = word();
        long long t;
        if (!ts.empty() && std::from_chars(ts.data(), ts.data() + ts.size(), t).ptr != ts.end())
            return false;
        blanks();
        return i_ == s_.size();
    }

private:
    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }

    bool blanks()
    {
        size_t from = i_;
        while (peek() == ' ' || peek() == '\t')
            i_++;
        return i_ > from;
    }

    std::string_view word()
    {
        size_t from = i_;
        while (i_ < s_.size() && s_[i_] != ' ' && s_[i_] != '\t')
            i_++;
        return s_.substr(from, i_ - from);
    }

    bool name(std::string& out)
    {
        size_t from = i_;
        while (isname(peek(), i_ == from))
            i_++;
        out.assign(s_.substr(from, i_ - from));
        return !out.empty();
    }

    bool labels(MetricSample& m)
    {
        i_++;  // {
        for (;;) {
            blanks();
            if (peek() == '}')
                break;
            std::string n, v;
            if (!name(n) || n.find(':') != std::string::npos)
                return false;
            blanks();
            if (peek() != '=')
                return false;
            i_++;
            blanks();
            if (peek() != '"')
                return false;
            for (i_++;; i_++) {
                if (i_ >= s_.size())
                    return false;
                char c = s_[i_];
                if (c == '"')
                    break;
                if (c == '\\') {
                    if (++i_ >= s_.size())
                        return false;
                    c = s_[i_] == 'n' ? '\n' : s_[i_];
                    if (c != '\n' && c != '\\' && c != '"')
                        return false;
                }
                v += c;
            }
            i_++;  // "
            m.labels.emplace_back(std::move(n), std::move(v));
            blanks();
            if (peek() == ',')
                i_++;
            else if (peek() != '}')
                return false;
        }
        i_++;  // }
        return true;
    }

    static bool number(std::string_view v, double& x)
    {
        if (v == "+Inf" || v == "-Inf" || v == "NaN") {
            x = v == "NaN" ? NAN : v[0] == '+' ? INFINITY : -INFINITY;
            return true;
        }
        if (v.starts_with('+'))
            v.remove_prefix(1);
        auto r = std::from_chars(v.data(), v.data() + v.size(), x);
        return !v.empty() && r.ec == std::errc() && r.ptr == v.end() && std::isfinite(x);
    }

    std::string_view s_;
    size_t i_ = 0;
};

}  // namespace

const std::string* MetricSample::label(std::string_view name) const
{
    for (const auto& [n, v] : labels)
        if (n == name)
            return &v;
    return nullptr;
}

bool parsemetrics(std::string_view text, std::vector<MetricSample>& out, std::string& why)
{
    size_t lineno = 0;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        lineno++;
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos || line[start] == '#')
            continue;
        MetricSample m;
        if (!Line(line.substr(start)).parse(m)) {
            why = "line " + std::to_string(lineno) + " is not a metric sample";
            return false;
        }
        out.push_back(std::move(m));
    }
    return true;
}

bool readmetrics(const std::string& path, std::string& text, struct stat& sb, std::string& why)
{
    // Not blocked by a FIFO put in its place.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    auto fail = [&](const char* what) {
        int e = errno;
        if (fd >= 0)
            close(fd);
        why = path + ": " + what;
        errno = e;
        return false;
    };
    if (fd < 0)
        return fail(std::strerror(errno));
    if (fstat(fd, &sb) != 0)
        return fail(std::strerror(errno));
    if (!S_ISREG(sb.st_mode)) {
        errno = EINVAL;
        return fail("not a regular file");
    }
    if (size_t(sb.st_size) > MAXFILE) {
        errno = EFBIG;
        return fail("larger than any metrics file (1 MiB)");
    }
    text.assign(size_t(sb.st_size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        ssize_t k = read(fd, text.data() + got, text.size() - got);
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0)
            return fail(std::strerror(errno));
        if (k == 0)
            break;
        got += size_t(k);
    }
    text.resize(got);
    close(fd);
    return true;
}

const MetricSample* findsample(const std::vector<MetricSample>& samples, std::string_view name,
                               std::string_view lname, std::string_view lvalue)
{
    for (const MetricSample& m : samples) {
        if (m.name != name)
            continue;
        if (lname.empty())
            return &m;
        const std::string* v = m.label(lname);
        if (v && *v == lvalue)
            return &m;
    }
    return nullptr;
}
