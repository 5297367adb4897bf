// The ordinary builds' driver of a harness: every file named, and every
// file in every folder named, goes once through LLVMFuzzerTestOneInput, in
// name order. A crash or a sanitiser report ends the run as it would end
// the fuzzer; a missing or empty corpus is an error, so a test that
// replays nothing cannot pass.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (fs::is_directory(argv[i], error)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(argv[i], error))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (fs::is_regular_file(argv[i], error)) {
            files.push_back(argv[i]);
        } else {
            fprintf(stderr, "%s: cannot read '%s'\n", argv[0], argv[i]);
            return 2;
        }
    }
    if (files.empty()) {
        fprintf(stderr, "usage: %s FILE_OR_FOLDER...  (no input found)\n", argv[0]);
        return 2;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        // A copy of exactly the file's size, so reading past it shows.
        std::vector<uint8_t> input(bytes);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    printf("%zu inputs replayed\n", files.size());
    return 0;
}
