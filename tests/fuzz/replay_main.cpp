// Runs a libFuzzer entry point over every file of the folders (or files) named on the command
// line, so the seed corpora are checked in every build, not only in the fuzzing one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> files = {argv[i]};
        if (std::filesystem::is_directory(argv[i])) {
            files.assign(std::filesystem::directory_iterator(argv[i]), {});
        }
        for (const std::filesystem::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 1;
            }
            const std::string bytes(std::istreambuf_iterator<char>(in), {});
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++count;
        }
    }
    // Also the empty input, which every parser must take.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::fprintf(stderr, "replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
