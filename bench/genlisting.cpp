// Writes a file listing as `find DIR -mindepth 1 -printf '%y\t%P\t%s\t%T@\n'` would for a
// disc-like tree, without making the tree: for the import benchmarks at sizes no test folder
// should hold.
//   bench_genlisting OUTFILE [files=1000000] [folders=15000] [seed=1]
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const char *const kWords[] = {"Holiday", "Music",   "Photos", "Backup",  "Project", "Report", "Track",
                              "Album",   "Summer",  "Winter", "Family",  "Docs",    "Scans",  "Video",
                              "Archive", "Letters", "Live",   "Session", "Draft",   "Final"};
const char *const kExtensions[] = {".mp3", ".jpg", ".txt", ".pdf", ".doc",
                                   ".avi", ".png", ".zip", ".ogg", ".xml"};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs("usage: bench_genlisting OUTFILE [files=1000000] [folders=15000] [seed=1]\n", stderr);
        return 1;
    }
    const long files = argc > 2 ? std::atol(argv[2]) : 1000000;
    const long folders = argc > 3 ? std::atol(argv[3]) : 15000;
    std::mt19937_64 rng(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
    std::FILE *out = std::fopen(argv[1], "w");
    if (!out || files < 0 || folders < 0) {
        std::perror(argv[1]);
        return 1;
    }
    auto pick = [&rng](size_t n) { return size_t(rng() % n); };
    // Folders up to four levels deep, each listed before anything inside it, as find does.
    std::vector<std::string> made = {std::string()};
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
        std::string path = made.back();
        path.pop_back();
        std::fprintf(out, "d\t%s\t4096\t%lld.0000000000\n", path.c_str(), 1262304000LL + i);
    }
    const long long from = 946684800; // 2000-01-01
    const long long span = 20LL * 365 * 86400;
    for (long i = 0; i < files; ++i) {
        const std::string &folder = made[pick(made.size())];
        std::fprintf(out, "f\t%s%s_%s_%07ld%s\t%llu\t%lld.%010llu\n", folder.c_str(), kWords[pick(20)],
                     kWords[pick(20)], i, kExtensions[pick(10)], (unsigned long long)(rng() % 50000000),
                     from + (long long)(rng() % (unsigned long long)span),
                     (unsigned long long)(rng() % 10000000000ULL));
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
