// Writes a simulated response data file and, on request, a setting file that
// runs tavrel on it. Seeded, so every run writes the same files.
//
//   tavrel_simulate --examinees N --items J --ranks K [--missing SHARE]
//                   [--booklets B [--anchor A]] [--seed S] [--ids] [--csv] --out FILE
//                   [--settings FILE [--method WORD] [--maxiter T]]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "simulation.hpp"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: tavrel_simulate --examinees N --items J --ranks K [--missing SHARE] [--booklets B [--anchor A]] "
                 "[--seed S] [--ids] [--csv] "
                 "--out FILE [--settings FILE [--method WORD] [--maxiter T]]\n");
    return 2;
}

// A setting file naming the data file as given, estimating K ranks and
// writing every result file beside it.
bool writeSettingFile(const tavrel::simulation::Design& d, const std::string& path, const std::string& data,
                      const std::string& method, long long maxiter) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "# Simulated: %zu examinees, %zu items, %zu ranks, %g missing, seed %llu\n", d.examinees,
                 d.items, d.ranks, d.missing, static_cast<unsigned long long>(d.seed));
    if (d.booklets > 0) std::fprintf(file, "# %zu booklets, %zu anchor items\n", d.booklets, d.anchors);
    std::fprintf(file, "infile = \"%s\";\nnitems = %zu;\nnranks = %zu;\nmethod = %s;\nmaxiter = %lld;\n",
                 data.c_str(), d.items, d.ranks, method.c_str(), maxiter);
    if (d.ids) std::fprintf(file, "idbegin = 1;\n");
    if (d.delimiter == ',') std::fprintf(file, "dataformat = csv;\n");
    for (const char* key : {"outfile", "rankfile", "rmpfile", "worpfile", "uorpfile"})
        std::fprintf(file, "%s = \"%s.%s.csv\";\n", key, data.c_str(), key);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    tavrel::simulation::Design d;
    std::string out;
    std::string settings;
    std::string method = "ml";
    long long maxiter = 100;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        const bool hasValue = a + 1 < argc;
        if (arg == "--ids") {
            d.ids = true;
        } else if (arg == "--csv") {
            d.delimiter = ',';
        } else if (arg == "--examinees" && hasValue) {
            d.examinees = std::strtoull(argv[++a], nullptr, 10);
        } else if (arg == "--items" && hasValue) {
            d.items = std::strtoull(argv[++a], nullptr, 10);
        } else if (arg == "--ranks" && hasValue) {
            d.ranks = std::strtoull(argv[++a], nullptr, 10);
        } else if (arg == "--missing" && hasValue) {
            d.missing = std::atof(argv[++a]);
        } else if (arg == "--booklets" && hasValue) {
            d.booklets = std::strtoull(argv[++a], nullptr, 10);
        } else if (arg == "--anchor" && hasValue) {
            d.anchors = std::strtoull(argv[++a], nullptr, 10);
        } else if (arg == "--seed" && hasValue) {
            d.seed = std::strtoull(argv[++a], nullptr, 10);
        } else if (arg == "--out" && hasValue) {
            out = argv[++a];
        } else if (arg == "--settings" && hasValue) {
            settings = argv[++a];
        } else if (arg == "--method" && hasValue) {
            method = argv[++a];
        } else if (arg == "--maxiter" && hasValue) {
            maxiter = std::atoll(argv[++a]);
        } else {
            return usage();
        }
    }
    if (out.empty() || d.items < 1 || d.ranks < 1) return usage();
    // Anchor items only within booklets, and every booklet at least one item
    // of its own.
    if (d.anchors > 0 && d.booklets == 0) return usage();
    if (d.booklets > 0 && (d.anchors >= d.items || d.items - d.anchors < d.booklets)) return usage();
    if (!tavrel::simulation::writeDataFile(d, out)) {
        std::fprintf(stderr, "tavrel_simulate: cannot write %s\n", out.c_str());
        return 1;
    }
    if (!settings.empty() && !writeSettingFile(d, settings, out, method, maxiter)) {
        std::fprintf(stderr, "tavrel_simulate: cannot write %s\n", settings.c_str());
        return 1;
    }
    return 0;
}
