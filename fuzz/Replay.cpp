// Runs a fuzz target's input function over files without libFuzzer, so the seeds and every
// past finding (fuzz/regressions/<target>) are replayed by the ordinary test runs and their
// sanitizer builds: replay_<target> FILE-OR-DIR...
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (std::filesystem::is_directory(argv[i], ec)) {
            for (const auto& e : std::filesystem::directory_iterator(argv[i])) {
                if (e.is_regular_file()) {
                    files.push_back(e.path());
                }
            }
        } else if (std::filesystem::exists(argv[i], ec)) {
            files.push_back(argv[i]);
        }
    }
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
            return 1;
        }
        // An empty vector's data() may be null; libFuzzer never passes null.
        static const std::uint8_t kNothing = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing
                                             : reinterpret_cast<const std::uint8_t*>(bytes.data()),
                               bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
