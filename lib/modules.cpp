// Module loading with dlopen (each module private to itself) and codec job calls.
#include "lib/modules.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvi {

std::string default_module_folder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&default_module_folder), &info) == 0 ||
        info.dli_fname == nullptr) {
        return ".";
    }
    char resolved[PATH_MAX];
    const std::string path =
        ::realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    // Installed, the modules have a folder of their own beside the library; built, they
    // lie beside it.
    const std::string installed = folder + "/orvi";
    struct stat status {};
    return ::stat(installed.c_str(), &status) == 0 && S_ISDIR(status.st_mode) ? installed : folder;
}

std::optional<Module> Module::open(const std::string& folder, const std::string& name,
                                   const char* entry_name, std::string& error) {
    const std::string path = folder + "/" + name + ".so";
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        error = "cannot load the " + name + " module (" + (why != nullptr ? why : path) + ")";
        return std::nullopt;
    }
    void* entry = ::dlsym(handle, entry_name);
    if (entry == nullptr) {
        ::dlclose(handle);
        error = "the " + name + " module (" + path + ") has no " + entry_name + " entry";
        return std::nullopt;
    }
    return Module(handle, entry);
}

Module::Module(Module&& other) noexcept : handle_(other.handle_), entry_(other.entry_) {
    other.handle_ = nullptr;
}

void* Module::symbol(const char* name) const {
    return ::dlsym(handle_, name);
}

Module& Module::operator=(Module&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) {
            ::dlclose(handle_);
        }
        handle_ = other.handle_;
        entry_ = other.entry_;
        other.handle_ = nullptr;
    }
    return *this;
}

Module::~Module() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
    }
}

int32_t run_codec_job(const Module& module, HostPool& pool, const CodecJob& job,
                      OrviJobReport* report) {
    PoolHandle handle = pool.job_handle();
    handle.abi.source = job.source.empty() ? nullptr : job.source.data();
    handle.abi.source_count = static_cast<uint32_t>(job.source.size());
    handle.abi.extras = job.extras;
    handle.abi.frames = job.frames;
    CodecArgs args{job.request, job.file, job.command, 0, &handle.abi, job.gauge};
    (void)module.start_prog()(&args);
    if (report != nullptr) {
        *report = handle.abi.report;
    }
    return args.Result;
}

} // namespace orvi
