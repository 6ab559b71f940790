#pragma once
// Readers that take a path get the input through a scratch directory of this process.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz_support {

// A directory made once per process under $TMPDIR (or /tmp), removed when the process ends.
inline const std::string& ScratchDir() {
    // Never destroyed: the exit handler that removes it runs after static destructors.
    static const std::string& dir = *new std::string([] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velquin-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] { std::filesystem::remove_all(ScratchDir()); });
        return pattern;
    }());
    return dir;
}

// Writes the input to `name` in the scratch directory and returns its path.
inline std::string WriteScratch(const std::string& name, const std::uint8_t* data,
                                std::size_t size) {
    std::string path = ScratchDir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) ||
        std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

} // namespace fuzz_support
