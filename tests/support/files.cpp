// Temporary folders and whole-file reads and writes.
#include "tests/support/files.h"

#include <fstream>
#include <random>
#include <unistd.h>

namespace testing_support {

TempFolder::TempFolder() {
    std::random_device seed;
    root_ = std::filesystem::temp_directory_path() /
            ("orvi-test-" + std::to_string(::getpid()) + "-" + std::to_string(seed()));
    std::filesystem::create_directories(root_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace testing_support
