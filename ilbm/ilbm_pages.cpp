// The pictures of an IFF LIST or CAT, found in one walk of the file.
#include "ilbm/ilbm_host.h"
#include "ilbm/ilbm_rules.h"
#include "runtime/cursor.h"

namespace orvi {

namespace {

// The frames of a FORM ANIM: each FORM ILBM in it, with its ANHD's time and operation.
std::vector<Page> anim_frames(std::span<const uint8_t> file) {
    std::vector<Page> frames;
    ilbm::IffWalk walk(file);
    for (auto step = walk.next(); ilbm::IffWalk::goes_on(step); step = walk.next()) {
        if (step == ilbm::IffWalk::Step::enter && walk.depth() == 1) {
            if (walk.id() == platform::ID_FORM && walk.type() == ilbm::ID_ILBM) {
                frames.push_back({walk.whole(), {}, 0, true});
            } else {
                walk.skip_container();
            }
        } else if (step == ilbm::IffWalk::Step::chunk && walk.depth() == 2 &&
                   walk.id() == ilbm::ID_ANHD && !frames.empty()) {
            runtime::Cursor anhd(walk.data());
            frames.back().operation = anhd.next();
            anhd.skip(13);
            frames.back().jiffies = anhd.be32();
        }
    }
    return frames;
}

} // namespace

std::vector<Page> iff_pages(std::span<const uint8_t> file) {
    std::vector<Page> pages;
    const ilbm::IffKind kind = ilbm::iff_kind(file);
    if (kind.container == platform::ID_FORM && kind.type == ilbm::ID_ANIM) {
        return anim_frames(file);
    }
    if (kind.container == 0) {
        return pages;
    }
    // The outer container's own size is not trusted: writers get it wrong by a few bytes
    // (one corpus CAT ends 4 bytes before its second FORM does), so its chunks are looked
    // for up to the end of the file.
    ilbm::IffPages found(file);
    while (found.next()) {
        pages.push_back(
            {found.form(), {found.props().begin(), found.props().end()}, found.list_type()});
    }
    // The reader takes the first picture of a file by itself: the first page is the file.
    if (pages.empty()) {
        pages.emplace_back();
    }
    pages.front() = {file, {}, 0};
    return pages;
}

} // namespace orvi
