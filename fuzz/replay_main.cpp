// Runs a fuzz target over files and folders of inputs without libFuzzer, so that the
// seed corpus and every saved crash run as ordinary tests in any build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int replay_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path root(argv[i]);
        if (std::filesystem::is_directory(root)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
                if (entry.is_regular_file() && entry.path().filename() != "README.md") {
                    files += replay_file(entry.path());
                }
            }
        } else if (std::filesystem::is_regular_file(root)) {
            files += replay_file(root);
        }
    }
    std::printf("replayed %d inputs: %d passed, 0 failed\n", files, files);
    return files > 0 ? 0 : 1;
}
