// Loading plug-in modules and running codec jobs through their entry points. The host
// knows only the records, the result codes and the pool handle; it links nothing of a
// module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/host_pool.h"
#include "runtime/records.h"

namespace host {

using StartProg = uint32_t (*)(CodecArgs*);

// One loaded module, closed when the owner goes.
class Module {
public:
    // Opens `<folder>/<name>.so` and finds its codec entry; on failure says why in `error`.
    static std::optional<Module> open_codec(const std::string& name, std::string& error);
    ~Module();
    Module(Module&& other) noexcept;
    Module& operator=(Module&&) = delete;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    [[nodiscard]] StartProg start_prog() const { return start_prog_; }

private:
    Module(void* handle, StartProg entry) : handle_(handle), start_prog_(entry) {}
    void* handle_;
    StartProg start_prog_;
};

// The folder modules are loaded from: $ORVI_MODULE_PATH, else the executable's folder.
[[nodiscard]] std::string module_folder();

// A picture whose pixel buffer belongs to the host's pool; freed with its owner.
class OwnedPicture {
public:
    explicit OwnedPicture(HostPool& pool) : pool_(&pool) {}
    ~OwnedPicture() { reset(); }
    OwnedPicture(const OwnedPicture&) = delete;
    OwnedPicture& operator=(const OwnedPicture&) = delete;

    void reset() {
        if (pic.Data != nullptr && pool_->owns(pic.Data)) {
            pool_->free(pic.Data);
        }
        pic = Picture{};
    }

    Picture pic{};

private:
    HostPool* pool_;
};

struct CodecJob {
    uint32_t command = kCommandLoad;
    const char* file = nullptr;
    CodecRequest* request = nullptr;
    OrviGaugeRoutine gauge = nullptr;
};

// Fills a CodecArgs block, calls the entry and returns the module's result code.
[[nodiscard]] int32_t run_codec_job(const Module& module, HostPool& pool, const CodecJob& job);

} // namespace host
