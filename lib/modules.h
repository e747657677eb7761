// Loading plug-in modules and running codec jobs through their entry points. The host
// knows only the records, the result codes and the pool handle; it links nothing of a
// module.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "lib/host_pool.h"
#include "runtime/op_records.h"
#include "runtime/records.h"

namespace orvi {

using StartProg = uint32_t (*)(CodecArgs*);
using StartOfProgram = uint32_t (*)(OpArgs*);

// One loaded module, closed when the owner goes.
class Module {
public:
    // Opens `<folder>/<name>.so` and finds its codec entry; on failure says why in `error`.
    static std::optional<Module> open_codec(const std::string& folder, const std::string& name,
                                            std::string& error) {
        return open(folder, name, "start_prog", error);
    }
    // Opens the operations module and finds its entry.
    static std::optional<Module> open_ops(const std::string& folder, std::string& error) {
        return open(folder, "ops", "start_of_program", error);
    }
    ~Module();
    Module(Module&& other) noexcept;
    Module& operator=(Module&& other) noexcept;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    [[nodiscard]] StartProg start_prog() const { return reinterpret_cast<StartProg>(entry_); }
    [[nodiscard]] StartOfProgram start_of_program() const {
        return reinterpret_cast<StartOfProgram>(entry_);
    }
    // Another exported symbol of the module, or nullptr.
    [[nodiscard]] void* symbol(const char* name) const;

private:
    static std::optional<Module> open(const std::string& folder, const std::string& name,
                                      const char* entry, std::string& error);
    Module(void* handle, void* entry) : handle_(handle), entry_(entry) {}
    void* handle_;
    void* entry_;
};

// The folder modules are loaded from when no other is given: the folder of the file this
// code was linked into (the shared library, or a program linked with the static one),
// or its "orvi" folder where the modules are installed beside the library.
[[nodiscard]] std::string default_module_folder();

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
    // A load's file as the host holds it in memory (the module reads these bytes, one
    // segment after another, as the file named `file`); empty: the module opens `file`.
    std::span<const OrviSegment> source;
    // What the job carries beside the pixels: asked of a reader, given to a writer.
    OrviExtras* extras = nullptr;
    OrviFrames* frames = nullptr; // a frame of an animation, and what the earlier ones left
};

// Fills a CodecArgs block, calls the entry and returns the module's result code.
// The call gets a handle of `pool` of its own, whose report lands in `report` when given.
[[nodiscard]] int32_t run_codec_job(const Module& module, HostPool& pool, const CodecJob& job,
                                    OrviJobReport* report = nullptr);

} // namespace orvi
