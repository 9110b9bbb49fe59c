// Replays saved fuzz inputs (files or folders of files) through the fuzz
// target as an ordinary program, so that every crasher stays fixed.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

int Replay(const std::string &path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return 0;
    if (S_ISDIR(info.st_mode)) {
        int count = 0;
        DIR *dir = opendir(path.c_str());
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] != '.') count += Replay(path + "/" + entry->d_name);
        }
        closedir(dir);
        return count;
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i) count += Replay(argv[i]);
    std::printf("replayed %d inputs\n", count);
    return 0;
}
