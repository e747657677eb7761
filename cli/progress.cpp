// A one-line progress bar on stderr, redrawn only when the percentage changes.
#include "cli/progress.h"

#include <algorithm>
#include <cstdio>

namespace cli {
namespace {

constexpr int32_t kBarWidth = 30;

bool bar_enabled = false;
bool bar_drawn = false;
int32_t last_percent = -1;
std::string bar_label;

void draw_progress(int32_t percent) {
    // deliberate: some modules report more than 100 for very short pictures.
    const int32_t shown = std::clamp(percent, 0, 100);
    if (shown == last_percent) {
        return;
    }
    last_percent = shown;
    bar_drawn = true;
    const int32_t filled = shown * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%", bar_label.c_str(), bar.c_str(), shown);
    std::fflush(stderr);
}

} // namespace

void progress_start(bool enabled, const std::string& label) {
    bar_enabled = enabled;
    bar_drawn = false;
    last_percent = -1;
    bar_label = label;
}

orvi::Progress progress_routine() {
    return bar_enabled ? orvi::Progress(draw_progress) : orvi::Progress();
}

void progress_finish() {
    if (bar_drawn) {
        std::fputc('\n', stderr);
    }
    bar_drawn = false;
}

} // namespace cli
