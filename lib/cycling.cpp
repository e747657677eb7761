// Colour cycling: each live range turns on its own clock, counted in exact steps from the
// moment the picture is first shown.
#include "orvi/cycling.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

#include "lib/library_inside.h"

namespace orvi {

namespace {

constexpr double kMicroseconds = 1e6;
// A step that falls a hair after a time computed in floating point still counts at it.
constexpr double kSlack = 1e-9;

// The places of a DRNG range: its cells in order, each a fixed colour or a register's.
// The cells follow ntrue and nregs: ntrue x (cell, red, green, blue), nregs x (cell,
// register).
std::vector<std::pair<uint8_t, int32_t>> drng_cells(const ColourRange& range) {
    std::vector<std::pair<uint8_t, int32_t>> cells; // cell, register or -1 - fixed index
    const std::vector<uint8_t>& data = range.cells;
    if (data.size() < 2) {
        return cells;
    }
    const size_t fixed = data[0];
    const size_t registers = data[1];
    size_t at = 2;
    for (size_t i = 0; i < fixed && at + 4 <= data.size(); ++i, at += 4) {
        cells.emplace_back(data[at], -1 - static_cast<int32_t>(at + 1));
    }
    for (size_t i = 0; i < registers && at + 2 <= data.size(); ++i, at += 2) {
        cells.emplace_back(data[at], data[at + 1]);
    }
    std::stable_sort(cells.begin(), cells.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return cells;
}

} // namespace

uint64_t Cycling::Range::steps(double seconds) const {
    if (seconds <= 0) {
        return 0;
    }
    const double exact =
        seconds * kMicroseconds * static_cast<double>(denominator) / static_cast<double>(numerator);
    return static_cast<uint64_t>(std::floor(exact + kSlack));
}

Cycling::Cycling(const Description& description, size_t colours) {
    for (const ColourRange& given : description.ranges) {
        if (!given.live()) {
            continue;
        }
        Range range;
        range.reverse = given.reverse;
        if (given.kind == ColourRange::Kind::ccrt) {
            range.numerator = given.rate; // microseconds a step
        } else {
            // rate 16384 is 60 steps a second: a step every 16384 / (60 rate) seconds.
            range.numerator = uint64_t{16384} * 1000000U;
            range.denominator = uint64_t{60} * given.rate;
        }
        const uint64_t common = std::gcd(range.numerator, range.denominator);
        range.numerator /= common;
        range.denominator /= common;
        if (given.kind == ColourRange::Kind::drng) {
            for (const auto& [cell, source] : drng_cells(given)) {
                if (cell < given.low || cell > given.high) {
                    continue;
                }
                Place place;
                if (source < 0) {
                    const size_t at = static_cast<size_t>(-1 - source);
                    place.fixed = true;
                    place.colour[0] = given.cells[at];
                    place.colour[1] = given.cells[at + 1];
                    place.colour[2] = given.cells[at + 2];
                } else if (static_cast<size_t>(source) < colours) {
                    place.shown = source;
                } else {
                    continue;
                }
                range.places.push_back(place);
            }
        } else {
            for (size_t shown = given.low; shown <= given.high && shown < colours; ++shown) {
                Place place;
                place.shown = static_cast<int32_t>(shown);
                range.places.push_back(place);
            }
        }
        bool shows = false;
        for (const Place& place : range.places) {
            shows = shows || place.shown >= 0;
        }
        if (range.places.size() > 1 && shows) {
            ranges_.push_back(std::move(range));
        }
    }
}

std::vector<uint32_t> Cycling::places(double seconds) const {
    std::vector<uint32_t> out;
    out.reserve(ranges_.size());
    for (const Range& range : ranges_) {
        out.push_back(static_cast<uint32_t>(range.steps(seconds) % range.places.size()));
    }
    return out;
}

void Cycling::palette_at(double seconds, std::span<const uint8_t> palette,
                         std::vector<uint8_t>& out) const {
    out.assign(palette.begin(), palette.end());
    for (const Range& range : ranges_) {
        const size_t count = range.places.size();
        const size_t turn = range.steps(seconds) % count;
        for (size_t to = 0; to < count; ++to) {
            const Place& target = range.places[to];
            if (target.shown < 0) {
                continue;
            }
            // Forward: the colour at place `to` came from `turn` places below it.
            const size_t from = range.reverse ? (to + turn) % count : (to + count - turn) % count;
            const Place& source = range.places[from];
            const uint8_t* colour =
                source.fixed ? source.colour : palette.data() + size_t(source.shown) * 3;
            std::copy(colour, colour + 3, out.begin() + static_cast<ptrdiff_t>(target.shown) * 3);
        }
    }
}

double Cycling::next_step(double seconds) const {
    double next = INFINITY;
    for (const Range& range : ranges_) {
        const double step = static_cast<double>(range.numerator) /
                            static_cast<double>(range.denominator) / kMicroseconds;
        const uint64_t taken = range.steps(seconds);
        next = std::min(next, static_cast<double>(taken + 1) * step);
    }
    return next;
}

std::optional<double> Cycling::period(double most) const {
    // Each range is back after places x numerator / denominator microseconds; all of them
    // after the least common multiple of those fractions: that of the numerators over the
    // greatest common divisor of the denominators, each fraction in its lowest terms.
    if (ranges_.empty()) {
        return 0.0;
    }
    uint64_t numerator = 1;
    uint64_t denominator = 0;
    for (const Range& range : ranges_) {
        uint64_t top = 0;
        if (__builtin_mul_overflow(range.numerator, range.places.size(), &top)) {
            return std::nullopt;
        }
        const uint64_t common = std::gcd(top, range.denominator);
        top /= common;
        if (__builtin_mul_overflow(numerator / std::gcd(numerator, top), top, &numerator)) {
            return std::nullopt;
        }
        denominator = std::gcd(denominator, range.denominator / common);
    }
    const double seconds =
        static_cast<double>(numerator) / static_cast<double>(denominator) / kMicroseconds;
    if (seconds > most) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace orvi

// ---- The frames of a still's cycling, for saving as an animation.

namespace orvi {

namespace {

// Steps of different ranges closer than this are one change of the palette.
constexpr double kSameTime = 1e-6;

// The frame's colours from its palette and indices: its pixels, or its colours before
// composing with its opacity (and the pixels composed onto black) when it has them.
void recolour(Image::State& frame) {
    const auto count =
        static_cast<uint64_t>(frame.picture.Width) * static_cast<uint64_t>(frame.picture.Height);
    uint8_t* colours = frame.straight != nullptr ? frame.straight : frame.picture.Data;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* colour = frame.palette.data() + size_t{frame.indices[i]} * 3;
        std::copy(colour, colour + 3, colours + i * 3);
    }
    if (frame.straight != nullptr && frame.alpha != nullptr) {
        for (uint64_t i = 0; i < count * 3; ++i) {
            frame.picture.Data[i] =
                static_cast<uint8_t>((frame.straight[i] * frame.alpha[i / 3] + 127) / 255);
        }
    }
}

} // namespace

Library::NextImage Library::cycling_frames(const Image& still, double seconds) {
    auto cycling = std::make_shared<const Cycling>(
        still.description(), still.indices() != nullptr ? still.palette().size() / 3 : 0);
    const std::optional<double> period = cycling->period(seconds);
    const double end = period && *period > 0 ? *period : seconds;
    auto at = std::make_shared<double>(0.0);
    return [this, &still, cycling, end, at](Error& error) -> std::optional<Image> {
        const double start = *at;
        if (start >= end - kSameTime) {
            return std::nullopt;
        }
        const double next = std::min(cycling->next_step(start + kSameTime), end);
        *at = next;
        std::optional<Image> frame = copy_image(still, error);
        if (!frame) {
            return std::nullopt;
        }
        Image::State& state = *frame->state_;
        state.seconds = next - start;
        if (cycling->moves()) {
            std::vector<uint8_t> palette;
            cycling->palette_at(start, still.palette(), palette);
            state.palette = std::move(palette);
            recolour(state);
        }
        return frame;
    };
}

} // namespace orvi
