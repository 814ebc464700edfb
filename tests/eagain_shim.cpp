// Preloaded by end-to-end cases: every other read(2) fails with EAGAIN, as on
// a non-blocking descriptor whose bytes another process took first.
#include <cerrno>
#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t read(int fd, void* buf, size_t n)
{
    using readfn = ssize_t (*)(int, void*, size_t);
    static readfn real = reinterpret_cast<readfn>(dlsym(RTLD_NEXT, "read"));
    static unsigned calls;
    if (++calls % 2 == 1) {
        errno = EAGAIN;
        return -1;
    }
    return real(fd, buf, n);
}
