// Progress bars on stderr.
#include "cli/progress.h"

#include <algorithm>
#include <cstdio>

namespace cli {
namespace {

constexpr int32_t kBarWidth = 30;

} // namespace

void ProgressBar::finish() {
    if (drawn_) {
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

orvi::Progress ProgressBar::routine() {
    if (!enabled_) {
        return {};
    }
    return [this](int32_t percent) { draw(percent); };
}

void ProgressBar::draw(int32_t percent) {
    // deliberate: some modules report more than 100 for very short pictures.
    const int32_t shown = std::clamp(percent, 0, 100);
    if (shown == last_percent_) {
        return;
    }
    last_percent_ = shown;
    drawn_ = true;
    const int32_t filled = shown * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), shown);
    std::fflush(stderr);
}

void BatchBar::update(size_t done) {
    if (!enabled_) {
        return;
    }
    const auto width = static_cast<size_t>(kBarWidth);
    const size_t filled = done * width / total_;
    std::fprintf(stderr, "\rconverting [%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), done, total_);
    std::fflush(stderr);
    drawn_ = true;
}

void BatchBar::break_line() {
    if (drawn_) {
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

} // namespace cli
