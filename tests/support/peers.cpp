// Peer tools and corpus lookup.
#include "tests/support/peers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace testing_support {

std::optional<std::string> run_capture(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string output;
    std::array<char, 65536> chunk{};
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        output.append(chunk.data(), got);
    }
    const int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return output;
}

bool have_program(const std::string& program) {
    return run_capture("command -v " + program + " >/dev/null 2>&1").has_value();
}

std::vector<std::string> corpus_files(const std::string& format) {
    const std::filesystem::path copy = std::filesystem::path(ORVI_CORPUS_DIR);
    const std::filesystem::path shared = std::filesystem::path(ORVI_SHARED_DIR) / "corpus";
    std::vector<std::string> files = files_in((copy / format).string());
    std::ifstream left_out(copy / "LEFT_OUT");
    std::vector<std::string> missing;
    for (std::string line; std::getline(left_out, line);) {
        if (!line.starts_with(format + "/")) {
            continue;
        }
        const std::filesystem::path file = shared / line;
        if (std::filesystem::is_regular_file(file)) {
            files.push_back(file.string());
        } else {
            missing.push_back(line);
        }
    }
    if (!missing.empty()) {
        std::printf("[   NOTE   ] %zu corpus files not tried: their licences keep them out of the "
                    "project, and ../shared/corpus is absent:",
                    missing.size());
        for (const std::string& name : missing) {
            std::printf(" %s", name.c_str());
        }
        std::printf("\n");
    }
    return files;
}

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

} // namespace testing_support
