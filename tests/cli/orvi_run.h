// Running the built orvi command in a temporary folder and capturing what it says.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace testing_support {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class OrviRun : public ::testing::Test {
protected:
    // Runs orvi in the temporary folder with `args` (already quoted) and `env` settings.
    Outcome orvi(const std::string& args, const std::string& env = "") {
        const std::string out = folder_.path(".stdout");
        const std::string err = folder_.path(".stderr");
        const std::string command = "cd " + shell_quote(folder_.root().string()) + " && " + env +
                                    " " + ORVI_BINARY + " " + args + " >" + out + " 2>" + err;
        const int raw = std::system(command.c_str());
        const Bytes out_bytes = read_file(out);
        const Bytes err_bytes = read_file(err);
        std::filesystem::remove(out);
        std::filesystem::remove(err);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
                std::string(out_bytes.begin(), out_bytes.end()),
                std::string(err_bytes.begin(), err_bytes.end())};
    }
    std::string path(const std::string& name) { return folder_.path(name); }
    // Runs a shell command in the test's folder, for redirections orvi() does not make;
    // its exit status.
    int shell(const std::string& command) {
        const int raw =
            std::system(("cd " + shell_quote(folder_.root().string()) + " && " + command).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    // The names in the folder, apart from the captured output.
    std::vector<std::string> listing() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.root())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder folder_;
};

} // namespace testing_support
