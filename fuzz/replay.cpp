// Runs a fuzz target without libFuzzer: every file in the folders given on the command line is
// handed once to LLVMFuzzerTestOneInput, so that the seeds and the kept crash inputs are tried in
// every ordinary build and test run. A target that finds a fault aborts, and so does this
// program; the input's name is printed before it is tried, so the log shows which one it was.
//
// replay FOLDER... : every folder must exist (a missing one is a mistake in the test set-up, not
// an empty set), and at least one input must be found in all of them together. Files whose
// names start with a dot (".gitkeep") are not inputs.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool readFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    int tried = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path folder(argv[i]);
        std::error_code error;
        if (!fs::is_directory(folder, error)) {
            std::fprintf(stderr, "not a folder: %s\n", argv[i]);
            return 2;
        }
        std::vector<fs::path> inputs;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file() && !entry.path().filename().string().starts_with('.')) {
                inputs.push_back(entry.path());
            }
        }
        std::sort(inputs.begin(), inputs.end());
        for (const fs::path& input : inputs) {
            std::vector<std::uint8_t> bytes;
            if (!readFile(input, bytes)) {
                std::fprintf(stderr, "cannot read %s\n", input.c_str());
                return 2;
            }
            std::printf("%s (%zu bytes)\n", input.c_str(), bytes.size());
            std::fflush(stdout);
            // an empty vector's data() may be null; libFuzzer hands a valid pointer even for size 0
            static const std::uint8_t kNothing = 0;
            LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
            ++tried;
        }
    }
    if (tried == 0) {
        std::fprintf(stderr, "no inputs in the folders given\n");
        return 2;
    }
    std::printf("%d inputs, no fault\n", tried);
    return 0;
}
