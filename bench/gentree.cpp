// Generates a disc-like folder tree for the walk benchmarks: sparse files (nothing is
// written, so a tree of any size costs only its metadata), realistic names and times.
//   bench_gentree OUTDIR [files=100000] [folders=1500] [seed=1]
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kWords[] = {"Holiday", "Music",   "Photos", "Backup",  "Project", "Report", "Track",
                              "Album",   "Summer",  "Winter", "Family",  "Docs",    "Scans",  "Video",
                              "Archive", "Letters", "Live",   "Session", "Draft",   "Final"};
const char *const kExtensions[] = {".mp3", ".jpg", ".txt", ".pdf", ".doc",
                                   ".avi", ".png", ".zip", ".ogg", ".xml"};

bool makeFolder(const std::string &path)
{
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    std::fprintf(stderr, "bench_gentree: %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs("usage: bench_gentree OUTDIR [files=100000] [folders=1500] [seed=1]\n", stderr);
        return 1;
    }
    std::string root = argv[1];
    if (root.back() != '/')
        root += '/';
    const long files = argc > 2 ? std::atol(argv[2]) : 100000;
    const long folders = argc > 3 ? std::atol(argv[3]) : 1500;
    std::mt19937_64 rng(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
    if (files < 0 || folders < 0 || !makeFolder(root))
        return 1;

    auto pick = [&rng](size_t n) { return size_t(rng() % n); };
    // Folders up to four levels deep: each new folder goes below the root or below one of the
    // folders made before it.
    std::vector<std::string> made = {root};
    std::vector<int> depth = {0};
    for (long i = 0; i < folders; ++i) {
        size_t parent = 0;
        for (int tries = 0; tries < 4; ++tries) {
            parent = pick(made.size());
            if (depth[parent] < 4)
                break;
            parent = 0;
        }
        char name[96];
        std::snprintf(name, sizeof name, "%s %s %ld", kWords[pick(20)], kWords[pick(20)], i);
        made.push_back(made[parent] + name + "/");
        depth.push_back(depth[parent] + 1);
        if (!makeFolder(made.back()))
            return 1;
    }

    const time_t from = 946684800; // 2000-01-01
    const time_t span = 20LL * 365 * 86400;
    for (long i = 0; i < files; ++i) {
        const std::string &folder = made[pick(made.size())];
        char name[128];
        std::snprintf(name, sizeof name, "%s_%s_%06ld%s", kWords[pick(20)], kWords[pick(20)], i,
                      kExtensions[pick(10)]);
        const std::string path = folder + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::fprintf(stderr, "bench_gentree: %s: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
        // Mostly small files, a few large ones, one in a thousand beyond 4 GiB.
        const unsigned r = unsigned(rng() % 1000);
        const long long size = r == 0   ? (4LL << 30) + static_cast<long long>(rng() % 1000000000)
                               : r < 50 ? static_cast<long long>(rng() % 700000000)
                                        : static_cast<long long>(rng() % 8000000);
        if (::ftruncate(fd, off_t(size)) != 0) {
            std::fprintf(stderr, "bench_gentree: %s: %s\n", path.c_str(), std::strerror(errno));
            ::close(fd);
            return 1;
        }
        const time_t t = from + time_t(rng() % uint64_t(span));
        const timespec times[2] = {{t, 0}, {t, 0}};
        ::futimens(fd, times);
        ::close(fd);
    }
    std::printf("%ld files in %ld folders below %s\n", files, folders, root.c_str());
    return 0;
}
