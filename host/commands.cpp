// convert and info: the jobs a person runs most, built from module calls.
#include "host/commands.h"

#include <cstdio>

#include "host/jobs.h"
#include "runtime/result_codes.h"

namespace host {

int convert(const ConvertOptions& options, const std::string& in, const std::string& out) {
    if (read_only_extension(out)) {
        complain("cannot save '" + out + "': orvi reads XPM files but does not write them");
        return kExitUsage;
    }
    if (!format_for_extension(out)) {
        complain("cannot save '" + out +
                 "': no module writes that kind of file (use .ppm, .pgm, .pnm, .pcx, .iff, "
                 ".ilbm or .lbm)");
        return kExitUsage;
    }
    std::string error;
    std::optional<Module> ops;
    std::vector<OperationStep> steps = options.steps;
    if (!steps.empty()) {
        ops = Module::open_ops(error);
        if (!ops) {
            complain(error);
            return kExitFailed;
        }
        if (!resolve_filters(*ops, steps, error)) {
            complain(error);
            return kExitUsage;
        }
    }
    HostPool pool;
    OwnedPicture picture(pool);
    CodecRequest request{};
    const bool progress = show_progress(options.quiet, options.progress);
    if (!load(pool, in, picture, request, progress, error)) {
        complain("cannot load '" + in + "': " + error);
        return kExitFailed;
    }
    if (ops && !apply_operations(*ops, pool, picture.pic, steps, error)) {
        complain("cannot process '" + in + "': " + error);
        return kExitFailed;
    }
    if (!save(pool, out, picture.pic,
              {options.plain, progress, options.depth, options.uncompressed}, error)) {
        complain(error);
        return kExitFailed;
    }
    return kExitOk;
}

int info(const std::vector<std::string>& files) {
    int status = kExitOk;
    for (const std::string& file : files) {
        HostPool pool;
        OwnedPicture picture(pool);
        CodecRequest request{};
        std::string error;
        Format format = Format::Ppm;
        if (!load(pool, file, picture, request, false, error, &format)) {
            std::printf("%s: cannot load: %s\n", file.c_str(), error.c_str());
            status = kExitFailed;
            continue;
        }
        std::printf("%s: %s, %d x %d, %u bits per pixel in the file%s\n", file.c_str(),
                    format_info(format).name, picture.pic.Width, picture.pic.Height,
                    picture.pic.Depth, format_details(file, format, request).c_str());
    }
    return status;
}

} // namespace host
