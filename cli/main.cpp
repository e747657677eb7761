// orvi: the command through which people load, convert and save pictures with the
// plug-in modules. Reads the arguments through the option table and runs the command.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/streams.h"

namespace {

int run(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(cli::short_usage().c_str(), stderr);
        return cli::kExitUsage;
    }
    const cli::Reading reading = cli::read_arguments(args);
    if (!reading.error.empty()) {
        std::fprintf(stderr, "orvi: %s\n(see 'orvi --help')\n", reading.error.c_str());
        return cli::kExitUsage;
    }
    if (!reading.settings) {
        std::fputs(reading.print.c_str(), stdout);
        return cli::kExitOk;
    }
    const cli::Settings& settings = *reading.settings;
    switch (settings.command) {
    case cli::Command::Convert:
        if (!settings.out_dir.empty()) {
            return cli::convert_batch(settings, settings.arguments);
        }
        return cli::convert(settings, settings.arguments[0], settings.arguments[1]);
    case cli::Command::Info:
        return cli::info(settings);
    case cli::Command::View:
        return cli::view(settings);
    case cli::Command::Filters:
        return cli::list_filters();
    case cli::Command::Demo:
        return cli::demo(settings.arguments.empty() ? cli::default_demo_folder()
                                                    : settings.arguments[0]);
    }
    return cli::kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    cli::guard_standard_streams();
    // The library reports its own lack of memory; what the command's own work lacks ends
    // it with a sentence too, never an abort.
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        cli::complain("there is not enough memory to go on");
        return cli::kExitFailed;
    }
}
