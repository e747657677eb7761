// The IFF walk: each header read whole and taken apart through the bounded cursor, every
// size checked against its container and the file before the walk moves on.
#include "platform/iff_walk.h"

#include <algorithm>

#include "platform/iffparse.h"
#include "runtime/cursor.h"

namespace platform {

bool is_iff_container(uint32_t id) {
    return id == ID_FORM || id == ID_LIST || id == ID_CAT || id == ID_PROP;
}

IffWalker::IffWalker(int64_t file_size, Read read, void* context, Outer outer)
    : file_size_(std::max<int64_t>(file_size, 0)), read_(read), context_(context), outer_(outer) {}

IffWalker::Step IffWalker::stop(Step step) {
    done_ = true;
    return step;
}

/* next: the outer container must be a FORM, LIST or CAT (or a PROP when asked); its end
 * is where its size says, cut to the file, unless the walk is told to go to the end of
 * the file. Inside, a chunk is an id, a big-endian size and its data, padded to even
 * length, all inside its container; what runs past the end of the file, when every
 * container around it reaches there (a cut file), is cut to it. A container holds a type
 * and chunks, at most kMostDepth deep. Anything else ends the walk as mangled. */
IffWalker::Step IffWalker::next() {
    if (done_) {
        return Step::end;
    }
    uint8_t header[12];
    if (!started_) {
        started_ = true;
        if (file_size_ < 12) {
            return stop(Step::not_iff);
        }
        if (!read_(context_, 0, header, 12)) {
            return stop(Step::failed);
        }
        runtime::Cursor cursor(header, header + 12);
        const uint32_t id = cursor.be32();
        const uint32_t size = cursor.be32();
        const uint32_t type = cursor.be32();
        const bool allowed =
            outer_ == Outer::prop ? id == ID_PROP : is_iff_container(id) && id != ID_PROP;
        if (!allowed) {
            return stop(Step::not_iff);
        }
        const int64_t end = outer_ == Outer::to_file_end
                                ? file_size_
                                : std::min<int64_t>(8 + int64_t{size}, file_size_);
        return enter(id, type, 0, end);
    }
    if (depth_ == 0) {
        return stop(Step::end);
    }
    const Open& top = stack_[depth_ - 1];
    if (at_ + 8 > top.end) {
        return leave();
    }
    if (!read_(context_, at_, header, 8)) {
        return stop(Step::failed);
    }
    runtime::Cursor cursor(header, header + 8);
    const uint32_t id = cursor.be32();
    int64_t size = cursor.be32();
    const int64_t data = at_ + 8;
    if (size > 0x7FFFFFFF) {
        return stop(Step::mangled);
    }
    if (size > top.end - data) {
        if (top.end != file_size_) {
            return stop(Step::mangled);
        }
        size = top.end - data;
    }
    if (is_iff_container(id)) {
        uint8_t type_bytes[4];
        if (size < 4 || depth_ == kMostDepth) {
            return stop(Step::mangled);
        }
        if (!read_(context_, data, type_bytes, 4)) {
            return stop(Step::failed);
        }
        runtime::Cursor type(type_bytes, type_bytes + 4);
        return enter(id, type.be32(), at_, data + size);
    }
    id_ = id;
    type_ = top.type;
    within_ = top.id;
    step_depth_ = depth_;
    start_ = at_;
    data_at_ = data;
    data_size_ = size;
    at_ = std::min(data + size + (size & 1), top.end);
    return Step::chunk;
}

IffWalker::Step IffWalker::enter(uint32_t id, uint32_t type, int64_t start, int64_t end) {
    within_ = depth_ == 0 ? 0 : stack_[depth_ - 1].id;
    step_depth_ = depth_;
    stack_[depth_++] = {id, type, start, end};
    id_ = id;
    type_ = type;
    start_ = start;
    data_at_ = std::min(start + 12, end);
    data_size_ = end - data_at_;
    at_ = start + 12;
    return Step::enter;
}

IffWalker::Step IffWalker::leave() {
    const Open done = stack_[--depth_];
    step_depth_ = depth_;
    id_ = done.id;
    type_ = done.type;
    within_ = depth_ == 0 ? 0 : stack_[depth_ - 1].id;
    start_ = done.start;
    data_at_ = std::min(done.start + 12, done.end);
    data_size_ = done.end - data_at_;
    // The walk goes on after the container, and its pad byte.
    const int64_t parent_end = depth_ == 0 ? done.end : stack_[depth_ - 1].end;
    at_ = std::min(done.end + ((done.end - done.start) & 1), parent_end);
    return Step::leave;
}

void IffWalker::skip_container() {
    if (depth_ > 0) {
        at_ = stack_[depth_ - 1].end;
    }
}

} // namespace platform
