// Replays fuzz inputs without libFuzzer: each file named, and each file of
// each directory named (in name order), goes once through the target's
// LLVMFuzzerTestOneInput. A broken invariant aborts, failing the test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool runfile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "replay: can't read %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

int main(int argc, char** argv)
{
    int count = 0;
    bool ok = true;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        struct stat st;
        if (stat(arg.c_str(), &st) != 0) {
            fprintf(stderr, "replay: no such input %s\n", arg.c_str());
            ok = false;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            ok = runfile(arg) && ok;
            count++;
            continue;
        }
        std::vector<std::string> names;
        if (DIR* d = opendir(arg.c_str())) {
            while (struct dirent* e = readdir(d))
                if (e->d_name[0] != '.')
                    names.emplace_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            ok = runfile(arg + "/" + n) && ok;
            count++;
        }
    }
    // An empty corpus would make a passing replay that checked nothing.
    if (count == 0)
        ok = false;
    printf("replayed %d inputs\n", count);
    return ok ? 0 : 1;
}
