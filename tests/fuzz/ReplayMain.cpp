// The entry point of a fuzz target in builds without libFuzzer (gcc): feeds each seed file once
// to LLVMFuzzerTestOneInput, so the seed corpus runs as an ordinary test, under the sanitizers
// of the build. Arguments are files or folders (every regular file in a folder, in name order).
// Exit status 1 when there was nothing to replay or a file could not be read; a failing input
// ends the process the way it would under libFuzzer (abort or sanitizer report).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(arg))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else {
            inputs.push_back(arg);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no seed files to replay\n");
        return 1;
    }
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        // A buffer of exactly the input's size, so the address sanitizer sees any read past it.
        const std::unique_ptr<uint8_t[]> data(new uint8_t[std::max<size_t>(bytes.size(), 1)]);
        std::copy(bytes.begin(), bytes.end(), data.get());
        std::fprintf(stderr, "%s\n", path.filename().c_str());
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
