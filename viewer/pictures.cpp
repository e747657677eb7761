#include "viewer/pictures.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "viewer/view_model.h"

namespace viewer {

namespace {

constexpr std::chrono::milliseconds kProgressPeriod{40};

} // namespace

std::vector<std::string> pictures_of(const orvi::Library& library,
                                     const std::vector<std::string>& arguments,
                                     std::vector<std::string>& problems) {
    namespace fs = std::filesystem;
    std::vector<std::string> pictures;
    for (const std::string& argument : arguments) {
        std::error_code failed;
        const fs::file_status status = fs::status(argument, failed);
        if (status.type() == fs::file_type::not_found) {
            problems.push_back("cannot show " + orvi::quoted(argument) + ": it does not exist");
            continue;
        }
        if (!failed && status.type() != fs::file_type::directory &&
            status.type() != fs::file_type::regular) {
            // A pipe or a device could keep the viewer waiting for ever: convert reads them.
            problems.push_back("cannot show " + orvi::quoted(argument) +
                               ": it is not a file (a pipe or a device); 'orvi convert' reads "
                               "those");
            continue;
        }
        if (status.type() != fs::file_type::directory) {
            pictures.push_back(argument); // a file, or one whose load says what is wrong
            continue;
        }
        std::vector<std::string> names;
        fs::directory_iterator entries(argument, failed);
        for (; !failed && entries != fs::directory_iterator(); entries.increment(failed)) {
            const std::string name = entries->path().filename().string();
            std::error_code kind_failed;
            if (name.empty() || name[0] == '.' || !entries->is_regular_file(kind_failed)) {
                continue;
            }
            orvi::Error error;
            if (library.recognise(entries->path().string(), error)) {
                names.push_back(name);
            }
        }
        if (failed) {
            problems.push_back("cannot read the folder " + orvi::quoted(argument) + ": " +
                               failed.message());
            continue;
        }
        std::sort(names.begin(), names.end(), natural_less);
        const std::string prefix = argument.back() == '/' ? argument : argument + "/";
        for (const std::string& name : names) {
            pictures.push_back(prefix + name);
        }
    }
    return pictures;
}

Loader::Loader(orvi::Library& library, std::vector<std::string> files, std::function<void()> wake)
    : library_(library), files_(std::move(files)), wake_(std::move(wake)),
      worker_([this] { work(); }) {}

Loader::~Loader() {
    {
        const std::lock_guard<std::mutex> held(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

bool Loader::wanted(size_t index) const {
    return index == focus_ || index == focus_ + 1 || index + 1 == focus_;
}

std::optional<size_t> Loader::next_wanted() const {
    for (const size_t index : {focus_, focus_ + 1, focus_ - 1}) {
        if (index < files_.size() && loaded_.count(index) == 0) {
            return index;
        }
    }
    return std::nullopt;
}

void Loader::focus(size_t index) {
    {
        const std::lock_guard<std::mutex> held(lock_);
        focus_ = index;
        std::erase_if(loaded_, [&](const auto& entry) { return !wanted(entry.first); });
    }
    changed_.notify_all();
}

std::shared_ptr<const Loaded> Loader::get(size_t index) const {
    const std::lock_guard<std::mutex> held(lock_);
    const auto found = loaded_.find(index);
    return found == loaded_.end() ? nullptr : found->second;
}

int32_t Loader::progress(size_t index) const {
    const std::lock_guard<std::mutex> held(lock_);
    return loading_ == index ? percent_.load() : -1;
}

void Loader::work() {
    std::unique_lock<std::mutex> held(lock_);
    for (;;) {
        changed_.wait(held, [&] { return stopping_ || next_wanted(); });
        if (stopping_) {
            return;
        }
        const size_t index = *next_wanted();
        loading_ = index;
        percent_ = 0;
        held.unlock();

        auto loaded = std::make_shared<Loaded>();
        orvi::LoadOptions options;
        // The bar is redrawn at most 25 times a second: a frame for every percent would
        // take the cores the load needs.
        auto last_wake = std::chrono::steady_clock::now();
        options.progress = [this, &last_wake](int32_t percent) {
            const auto now = std::chrono::steady_clock::now();
            if (percent_.exchange(percent) != percent && now - last_wake >= kProgressPeriod) {
                last_wake = now;
                wake_();
            }
        };
        loaded->image = library_.load(files_[index], loaded->error, options);
        if (loaded->image) {
            const orvi::Image& image = *loaded->image;
            const Size size{image.width(), image.height()};
            if (const uint32_t factor = preview_factor(size); factor > 1) {
                loaded->preview =
                    reduced(library_, image.pixels(), size, image.bytes_per_pixel(), factor);
            }
        }

        held.lock();
        loading_.reset();
        percent_ = -1;
        if (wanted(index)) {
            loaded_[index] = std::move(loaded);
        }
        held.unlock();
        wake_();
        held.lock();
    }
}

} // namespace viewer
