// The drawings and figures below a folder, and small helpers the benchmarks share.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

// The best time of `repeats` runs of work, in milliseconds.
template <typename Work>
double BestOf(int repeats, Work work)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// The middle value (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Appends every file ending in .jww or .jws (any case) below folder, sorted;
// a file given instead of a folder is taken as it is.
inline void CollectDrawings(const std::string &folder, std::vector<std::string> *files)
{
    struct stat given;
    if (stat(folder.c_str(), &given) == 0 && S_ISREG(given.st_mode)) {
        files->push_back(folder);
        return;
    }
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string path = folder + "/" + entry->d_name;
        struct stat info;
        if (stat(path.c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
            CollectDrawings(path, files);
        } else if (path.size() > 4) {
            std::string ending = path.substr(path.size() - 4);
            for (char &c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (ending == ".jww" || ending == ".jws") files->push_back(path);
        }
    }
    closedir(dir);
    std::sort(files->begin(), files->end());
}

// The arguments every corpus benchmark takes, [CORPUS_DIR | FILE] [REPEATS]:
// collects the drawings, sets the pictures to a 1920-pixel desktop, and
// returns the repeats.
inline int CorpusBenchArguments(int argc, char **argv, int defaultRepeats, std::vector<std::string> *files)
{
    setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
    CollectDrawings(argc > 1 ? argv[1] : "../shared/corpus/raw", files);
    return argc > 2 ? std::max(1, std::atoi(argv[2])) : defaultRepeats;
}
