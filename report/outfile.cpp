// Writing a file through a temporary name, every call checked.
#include "outfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

OutFile::OutFile(std::string path) : path_(std::move(path))
{
    if (path_ == "-") {
        fd_ = 1;
        return;
    }
    // A device or FIFO at the name (/dev/null, /dev/stdout) is written into
    // as it is: a rename over it would put a file in its place.
    struct stat sb;
    if (stat(path_.c_str(), &sb) == 0 && !S_ISREG(sb.st_mode) && !S_ISDIR(sb.st_mode)) {
        fd_ = open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0)
            throw OutputError(path_ + ": cannot open: " + std::strerror(errno));
        direct_ = true;
        return;
    }
    tmp_ = path_ + ".tmp";
    fd_ = open(tmp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0)
        throw OutputError(tmp_ + ": cannot make: " + std::strerror(errno));
}

OutFile::~OutFile()
{
    if (direct_ && fd_ >= 0)
        ::close(fd_);
    if (tmp_.empty())
        return;
    if (fd_ >= 0)
        ::close(fd_);
    unlink(tmp_.c_str());
}

void OutFile::fail(const char* what)
{
    int e = errno;
    std::string name = direct_ ? path_ : tmp_.empty() ? "standard output" : tmp_;
    throw OutputError(name + ": cannot " + what + ": " + std::strerror(e));
}

void OutFile::flush()
{
    size_t done = 0;
    while (done < buf_.size()) {
        ssize_t n = write(fd_, buf_.data() + done, buf_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            fail("write");
        }
        done += size_t(n);
    }
    buf_.clear();
}

void OutFile::close()
{
    flush();
    if (tmp_.empty())
        return;
    if (fsync(fd_) != 0)
        fail("write");
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        int e = errno;
        unlink(tmp_.c_str());
        errno = e;
        fail("write");
    }
}

// A folder where the file should go would refuse the rename only after
// the files before it were put in place.
void OutFile::checkplace() const
{
    struct stat sb;
    if (!tmp_.empty() && stat(path_.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode))
        throw OutputError(path_ + ": cannot put in place: " + std::strerror(EISDIR));
}

void OutFile::place()
{
    if (tmp_.empty())
        return;
    if (rename(tmp_.c_str(), path_.c_str()) != 0) {
        int e = errno;
        unlink(tmp_.c_str());
        throw OutputError(path_ + ": cannot put in place: " + std::strerror(e));
    }
    tmp_.clear();
}

void OutFile::commitall(const std::vector<OutFile*>& files)
{
    for (OutFile* f : files)
        f->close();
    for (OutFile* f : files)
        f->checkplace();
    for (OutFile* f : files)
        f->place();
}
