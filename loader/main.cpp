// morva-cdrload DATABASE CDRDIR: loads the hourly CDR tree under CDRDIR into
// the table cdr of the SQLite database DATABASE, incrementally.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <sys/stat.h>

#include "cdrdb.h"
#include "loader.h"

namespace {

const char usage[] = "usage: morva-cdrload DATABASE CDRDIR\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::cout << usage;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "morva-cdrload " MORVA_VERSION "\n";
        return 0;
    }
    if (argc != 3 || (argv[1][0] == '-' && argv[1][1]) || (argv[2][0] == '-' && argv[2][1]) ||
        !*argv[1] || !*argv[2]) {
        std::cerr << usage;
        return 2;
    }

    // A file-size limit must show as a failed write of the database, said
    // and with status 2, not kill the run without a word.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    if (sigemptyset(&ignore.sa_mask) != 0 || sigaction(SIGXFSZ, &ignore, nullptr) != 0) {
        std::cerr << "morva-cdrload: cannot ignore SIGXFSZ: " << std::strerror(errno) << '\n';
        return 2;
    }

    // The tree is checked first, so that a mistyped CDRDIR leaves no new
    // empty database behind.
    std::string root = argv[2];
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    struct stat sb;
    if (stat(root.c_str(), &sb) != 0) {
        std::cerr << "morva-cdrload: " << root << ": " << std::strerror(errno) << '\n';
        return 2;
    }
    if (!S_ISDIR(sb.st_mode)) {
        std::cerr << "morva-cdrload: " << root << ": " << std::strerror(ENOTDIR) << '\n';
        return 2;
    }

    try {
        CdrDb db(argv[1]);
        return loadtree(db, root, std::cerr);
    } catch (const DbError& e) {
        std::cerr << "morva-cdrload: " << e.what() << '\n';
    } catch (const std::bad_alloc&) {
        std::cerr << "morva-cdrload: out of memory\n";
    }
    return 2;
}
