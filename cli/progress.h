// The progress bars: one a load or save drives, and one a batch's files move on. Drawn on
// stderr, when enabled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "orvi/library.h"

namespace cli {

// "loading x.iff [#########.....]  60%": redrawn only when the percentage changes.
class ProgressBar {
public:
    // A bar labelled `label`; with `enabled` false nothing is ever drawn.
    ProgressBar(bool enabled, std::string label) : enabled_(enabled), label_(std::move(label)) {}
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar() { finish(); }
    // Ends the bar's line, if one was drawn: what is printed next starts on its own.
    void finish();
    // The progress routine for the library, or none when the bar is off; it draws on this
    // bar, which must outlive the job.
    [[nodiscard]] orvi::Progress routine();

private:
    void draw(int32_t percent);
    bool enabled_;
    std::string label_;
    bool drawn_ = false;
    int32_t last_percent_ = -1;
};

// "converting [####......] 12/200": the files of a batch.
class BatchBar {
public:
    BatchBar(bool enabled, size_t total) : enabled_(enabled), total_(total) {}
    void update(size_t done);
    // Leaves the bar's line so that a sentence can be printed.
    void break_line();

private:
    bool enabled_;
    size_t total_;
    bool drawn_ = false;
};

} // namespace cli
