// convert and info: the jobs a person runs most, built from module calls.
#include "host/commands.h"

#include <cstdio>
#include <unistd.h>

#include "host/details.h"
#include "host/jobs.h"
#include "host/names.h"
#include "host/spool.h"
#include "runtime/result_codes.h"

namespace host {

int prepare_steps(const ConvertOptions& options, PreparedSteps& prepared) {
    prepared.steps = options.steps;
    if (prepared.steps.empty()) {
        return kExitOk;
    }
    std::string error;
    prepared.ops = Module::open_ops(error);
    if (!prepared.ops) {
        complain(error);
        return kExitFailed;
    }
    if (!resolve_filters(*prepared.ops, prepared.steps, error)) {
        complain(error);
        return kExitUsage;
    }
    return kExitOk;
}

bool convert_one(const ConvertOptions& options, const PreparedSteps& prepared,
                 const std::string& in, const std::string& out, bool progress, std::string& error) {
    HostPool pool(options.pool_limit != 0 ? options.pool_limit : HostPool::default_limit(),
                  options.max_pixels);
    OwnedPicture picture(pool);
    CodecRequest request{};
    if (!load(pool, in, picture, request, progress, error)) {
        error = "cannot load " + shown_name(in, false) + ": " + error;
        return false;
    }
    if (prepared.ops &&
        !apply_operations(*prepared.ops, pool, picture.pic, prepared.steps, error)) {
        error = "cannot process " + shown_name(in, false) + ": " + error;
        return false;
    }
    const SaveSettings settings{
        options.plain,  progress,       options.depth, options.uncompressed,
        options.reduce, options.dither, options.to,    {options.force, options.sweep_leftovers}};
    return save(pool, out, picture.pic, settings, error);
}

int convert(const ConvertOptions& options, const std::string& in, const std::string& out) {
    if (!options.to) {
        if (out == "-") {
            complain("writing to standard output needs --to FORMAT");
            return kExitUsage;
        }
        if (read_only_extension(out)) {
            complain("cannot save '" + out + "': orvi reads XPM files but does not write them");
            return kExitUsage;
        }
        if (!format_for_extension(out)) {
            complain("cannot save '" + out + "': no module writes that kind of file (use " +
                     written_extensions() + ", or --to FORMAT)");
            return kExitUsage;
        }
    }
    PreparedSteps prepared;
    if (const int status = prepare_steps(options, prepared); status != kExitOk) {
        return status;
    }
    std::string error;
    if (!convert_one(options, prepared, in, out, show_progress(options.quiet, options.progress),
                     error)) {
        complain(error);
        return kExitFailed;
    }
    return kExitOk;
}

int info(const std::vector<std::string>& files, const InfoOptions& options) {
    const bool json = options.json;
    int status = kExitOk;
    for (const std::string& file : files) {
        HostPool pool(HostPool::default_limit(), options.max_pixels);
        OwnedPicture picture(pool);
        CodecRequest request{};
        std::string error;
        Format format = Format::Ppm;
        // What can be read only once is spooled here, so that the header details can be
        // read from it too.
        std::optional<Spool> spool;
        const auto readable = readable_source(file, spool, error);
        const std::string source = readable ? *readable : file;
        if (!readable || !load(pool, source, picture, request, false, error, &format)) {
            if (json) {
                std::printf("{\"file\":%s,\"error\":%s}\n", json_string(file).c_str(),
                            json_string(error).c_str());
            } else {
                std::printf("%s: cannot load: %s\n", escaped(file).c_str(), error.c_str());
            }
            status = kExitFailed;
            continue;
        }
        const Details details = file_details(source, format, picture.pic, request);
        std::printf("%s\n",
                    (json ? details_json(file, details) : details_text(file, details)).c_str());
    }
    return status;
}

} // namespace host
