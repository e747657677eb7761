// The list of pictures a viewer steps through, and the worker that loads them ahead.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "orvi/orvi.h"
#include "viewer/pixels.h"

namespace viewer {

// The pictures `arguments` name: a file as given (one that fails shows why in its
// turn), a folder's files whose content a format recognises, in the natural order of
// their names (hidden files and subfolders left out). A name that does not exist, one
// that is not a file (a pipe, a device: never opened) and a folder that cannot be read
// each add a sentence to `problems`.
[[nodiscard]] std::vector<std::string> pictures_of(const orvi::Library& library,
                                                   const std::vector<std::string>& arguments,
                                                   std::vector<std::string>& problems);

// A picture loaded, or why it could not be; a large one with its reduced copy.
struct Loaded {
    std::optional<orvi::Image> image;
    orvi::Error error;
    Reduced preview;
};

// Loads pictures of the list in a worker thread: the one in focus first, then the next
// and the previous, so that stepping finds them loaded; the others are let go. The
// reduced copy of a large picture is made there too. `wake`
// is called from the worker when a load ends or its progress moves.
class Loader {
public:
    Loader(orvi::Library& library, std::vector<std::string> files, std::function<void()> wake);
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;
    ~Loader();

    [[nodiscard]] const std::vector<std::string>& files() const { return files_; }
    void focus(size_t index);
    // The picture at `index` once loaded (shared: the worker may let it go meanwhile).
    [[nodiscard]] std::shared_ptr<const Loaded> get(size_t index) const;
    // How far the load of `index` is, 0..100, or -1 when it is not loading.
    [[nodiscard]] int32_t progress(size_t index) const;

private:
    void work();
    [[nodiscard]] std::optional<size_t> next_wanted() const; // with lock_ held
    [[nodiscard]] bool wanted(size_t index) const;           // with lock_ held

    orvi::Library& library_;
    const std::vector<std::string> files_;
    const std::function<void()> wake_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    size_t focus_ = 0;
    std::map<size_t, std::shared_ptr<const Loaded>> loaded_;
    std::optional<size_t> loading_;
    std::atomic<int32_t> percent_{-1};
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace viewer
