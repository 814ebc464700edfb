// Preloaded by an end-to-end case: when the program cuts a file back, a
// second writer appends a line to the same file, as another packer on the
// same tree would. It goes in at once if it gets the file's lock, or else
// as soon as the lock is free (here: when the program ends).
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

char waiting[PATH_MAX];   // the file whose lock was taken

bool appendline(const char* path, bool wait)
{
    int fd = open(path, O_WRONLY | O_APPEND);
    if (fd < 0)
        return false;
    bool ok = flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0;
    if (ok) {
        // The program's file-size limit is not the other writer's.
        struct rlimit was, big;
        getrlimit(RLIMIT_FSIZE, &was);
        big = {was.rlim_max, was.rlim_max};
        setrlimit(RLIMIT_FSIZE, &big);
        static const char line[] = ":9999|9999|another packer|071226081820|1|||01\n";
        ok = write(fd, line, sizeof line - 1) == ssize_t(sizeof line - 1);
        setrlimit(RLIMIT_FSIZE, &was);
    }
    close(fd);
    return ok;
}

__attribute__((destructor)) void atend()
{
    if (*waiting)
        appendline(waiting, true);
}

}  // namespace

extern "C" int ftruncate(int fd, off_t len)
{
    using fn = int (*)(int, off_t);
    static fn real = reinterpret_cast<fn>(dlsym(RTLD_NEXT, "ftruncate"));
    static bool done;
    char link[64];
    char path[PATH_MAX] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    // The first cut of a file of the program's own (not a clock shim's
    // shared memory under /dev).
    if (!done && readlink(link, path, sizeof path - 1) > 0 && strncmp(path, "/dev/", 5) != 0) {
        done = true;
        if (!appendline(path, false))
            strcpy(waiting, path);
    }
    return real(fd, len);
}
