// What the library's own code and its tests see of a Library and an Image beyond their
// API: the state behind them, the module calls and the progress relay they share.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "lib/animation.h"
#include "lib/host_pool.h"
#include "lib/modules.h"
#include "orvi/library.h"

namespace orvi {

struct Image::State {
    explicit State(std::shared_ptr<orvi::HostPool> owner) : pool(std::move(owner)) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        for (uint8_t* block : {picture.Data, indices, alpha, straight}) {
            if (block != nullptr) {
                pool->free(block);
            }
        }
    }
    // Forgets the palette and its indices (the pixels no longer come from them), and what
    // names the palette's registers.
    void drop_palette() {
        free_block(indices);
        palette.clear();
        transparent = -1;
        description.ranges.clear();
        description.display_mode.reset();
    }
    void drop_alpha() {
        free_block(alpha);
        free_block(straight);
    }
    void free_block(uint8_t*& block) {
        if (block != nullptr) {
            pool->free(block);
            block = nullptr;
        }
    }
    std::shared_ptr<orvi::HostPool> pool;
    Picture picture{}; // Data is a block of `pool`
    // A palette picture's palette (three bytes an entry) and indices (a block of `pool`).
    std::vector<uint8_t> palette;
    uint8_t* indices = nullptr;
    int32_t transparent = -1;
    uint8_t* alpha = nullptr;    // blocks of `pool`, or null
    uint8_t* straight = nullptr; // colours before composing onto black, or null
    Description description;
    std::vector<FileChunk> chunks;
    std::string format;
    Image::Kind kind;
    Details details;
    std::vector<std::string> notes;
    std::vector<std::string> gaps;
    double seconds = 0; // a frame of an animation: how long it is shown
};

struct FormatEntry;

struct Library::State {
    Options settings;
    std::string module_folder;
    std::shared_ptr<orvi::HostPool> pool;
    std::mutex modules_lock;
    std::map<std::string, orvi::Module> modules;

    // The module of that name, opened once; nullptr with the error.
    const orvi::Module* module(const std::string& name, bool operations, Error& error);
    std::unique_ptr<Image::State> fresh_image() { return std::make_unique<Image::State>(pool); }
    // Saves to `path`, or when it is null to `fd`.
    bool write(const Image& image, const std::string* path, int fd, const SaveOptions& options,
               Error& error, std::vector<std::string>* notes);
    // Saves the frames `next` gives in `format`, a format of animations.
    bool write_frames(const orvi::FormatEntry& format, const orvi::NextFrame& next,
                      const std::string* path, int fd, const SaveOptions& options, Error& error,
                      std::vector<std::string>* notes);
};

// A module serves one call at a time (it keeps its state in globals), whichever Library
// calls it: one lock per module file, for the whole process.
[[nodiscard]] std::mutex& module_call_lock(const std::string& name);

// Sets the progress routine of the running job on this thread for the life of a job:
// the Gauge word carries a plain routine with no room for a closure.
class ProgressScope {
public:
    explicit ProgressScope(const Progress& progress);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    // The routine to give a module: one that relays to `progress`, or none.
    [[nodiscard]] static OrviGaugeRoutine routine(const Progress& progress);

private:
    const Progress* saved_;
};

// Runs `work`, turning a failed allocation of the library's own (not the pool's, which
// refuses rather than throws) into an Error: no caller of the library sees an exception.
template <typename Result, typename Work>
Result without_throwing(Error& error, Result failed, Work&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        error = {kOutOfMemory, "there is not enough memory for it"};
        return failed;
    }
}

struct LibraryInside {
    // The pool all of a library's images and work come from: tests check its books.
    [[nodiscard]] static orvi::HostPool& pool(Library& library);
};

} // namespace orvi
