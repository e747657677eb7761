// The walk through an IFF file held in memory, the chunks the reader uses as that walk
// finds them, and the pictures of a LIST or CAT. Pure: reads only the bytes it is given,
// through the bounded cursor; no globals, no allocation.
#include <algorithm>
#include <array>

#include "ilbm/ilbm_rules.h"
#include "runtime/cursor.h"

namespace ilbm {
namespace {

bool is_container(uint32_t id) {
    return id == platform::ID_FORM || id == platform::ID_LIST || id == platform::ID_CAT ||
           id == platform::ID_PROP;
}

// The properties in force, as the reader's IFF walk keeps them: each of a FORM type, an
// id and a scope (the nesting level of the FORM it was read in, or of the LIST holding
// its PROP); the innermost scope wins, and a scope's properties go when it ends.
class Properties {
public:
    void store(uint32_t type, uint32_t id, size_t scope, std::span<const uint8_t> data) {
        for (size_t i = 0; i < count_; ++i) {
            if (entries_[i].type == type && entries_[i].id == id && entries_[i].scope == scope) {
                entries_[i].data = data; // the last of an id in a scope wins
                return;
            }
        }
        if (count_ < entries_.size()) {
            entries_[count_++] = {type, id, scope, data};
        }
    }
    void leave(size_t scope) {
        count_ = static_cast<size_t>(
            std::remove_if(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count_),
                           [scope](const Entry& entry) { return entry.scope >= scope; }) -
            entries_.begin());
    }
    [[nodiscard]] const std::span<const uint8_t>* find(uint32_t type, uint32_t id) const {
        const Entry* found = nullptr;
        for (size_t i = 0; i < count_; ++i) {
            const Entry& entry = entries_[i];
            if (entry.type == type && entry.id == id &&
                (found == nullptr || entry.scope > found->scope)) {
                found = &entry;
            }
        }
        return found != nullptr ? &found->data : nullptr;
    }

private:
    struct Entry {
        uint32_t type;
        uint32_t id;
        size_t scope;
        std::span<const uint8_t> data;
    };
    std::array<Entry, 32> entries_{};
    size_t count_ = 0;
};

bool is_property(uint32_t id) {
    return id == ID_BMHD || id == ID_CAMG || id == ID_CMAP || id == ID_DGBL;
}

// The chunks of one PROP (a whole chunk, header and type first) into the scope given.
void store_prop(std::span<const uint8_t> prop, size_t scope, Properties& properties) {
    IffWalk walk(prop, IffWalk::Outer::prop);
    uint32_t type = 0;
    for (IffWalk::Step step = walk.next();
         step != IffWalk::Step::end && step != IffWalk::Step::mangled; step = walk.next()) {
        if (step == IffWalk::Step::enter && walk.depth() == 0) {
            type = walk.type();
        } else if (step == IffWalk::Step::chunk && walk.depth() == 1 && is_property(walk.id())) {
            properties.store(type, walk.id(), scope, walk.data());
        }
    }
}

} // namespace

IffWalk::IffWalk(std::span<const uint8_t> file, Outer outer) : file_(file), outer_(outer) {}

/* next: the outer container must be a FORM, LIST or CAT (or a PROP when asked); its end
 * is where its size says, cut to the file, unless the walk is told to go to the end of
 * the file. Inside, a chunk is an id, a big-endian size and its data, padded to even
 * length, all inside its container (or cut at the end of the file, when its containers
 * all reach it); a container holds a type and chunks, at most kMostDepth deep. Anything
 * else ends the walk as mangled. */
IffWalk::Step IffWalk::next() {
    if (done_) {
        return Step::end;
    }
    if (depth_ == 0 && !started_) {
        started_ = true;
        runtime::Cursor cursor(file_);
        const uint32_t id = cursor.be32();
        const uint32_t size = cursor.be32();
        const uint32_t type = cursor.be32();
        const bool allowed = outer_ == Outer::prop ? id == platform::ID_PROP
                                                   : is_container(id) && id != platform::ID_PROP;
        if (cursor.dry() || !allowed) {
            done_ = true;
            return Step::mangled;
        }
        const size_t end =
            outer_ == Outer::to_file_end
                ? file_.size()
                : static_cast<size_t>(std::min<uint64_t>(8 + uint64_t{size}, file_.size()));
        return enter(id, type, 0, end);
    }
    if (depth_ == 0) {
        done_ = true;
        return Step::end;
    }
    const Open& top = stack_[depth_ - 1];
    if (at_ + 8 > top.end) {
        return leave();
    }
    runtime::Cursor cursor(file_.subspan(at_, top.end - at_));
    const uint32_t id = cursor.be32();
    uint32_t size = cursor.be32();
    const size_t data = at_ + 8;
    if (size > 0x7FFFFFFFU) {
        done_ = true;
        return Step::mangled;
    }
    if (size > top.end - data) {
        // As the reader does: what runs past the end of a cut file is cut to it; inside
        // its container, it is mangled.
        if (top.end != file_.size()) {
            done_ = true;
            return Step::mangled;
        }
        size = static_cast<uint32_t>(top.end - data);
    }
    if (is_container(id)) {
        const uint32_t type = cursor.be32();
        if (size < 4 || depth_ == kMostDepth) {
            done_ = true;
            return Step::mangled;
        }
        return enter(id, type, at_, data + size);
    }
    id_ = id;
    type_ = top.type;
    within_ = top.id;
    step_depth_ = depth_;
    start_ = at_;
    data_ = file_.subspan(data, size);
    at_ = std::min(data + size + (size & 1U), top.end);
    return Step::chunk;
}

IffWalk::Step IffWalk::enter(uint32_t id, uint32_t type, size_t start, size_t end) {
    within_ = depth_ == 0 ? 0 : stack_[depth_ - 1].id;
    step_depth_ = depth_;
    stack_[depth_++] = {id, type, start, end};
    id_ = id;
    type_ = type;
    start_ = start;
    data_ = file_.subspan(std::min(start + 12, end), end - std::min(start + 12, end));
    at_ = start + 12;
    return Step::enter;
}

IffWalk::Step IffWalk::leave() {
    const Open done = stack_[--depth_];
    step_depth_ = depth_;
    id_ = done.id;
    type_ = done.type;
    within_ = depth_ == 0 ? 0 : stack_[depth_ - 1].id;
    start_ = done.start;
    data_ = file_.subspan(std::min(done.start + 12, done.end),
                          done.end - std::min(done.start + 12, done.end));
    // The walk goes on after the container, and its pad byte.
    const size_t parent_end = depth_ == 0 ? done.end : stack_[depth_ - 1].end;
    at_ = std::min(done.end + ((done.end - done.start) & 1U), parent_end);
    return Step::leave;
}

void IffWalk::skip_container() {
    if (depth_ > 0) {
        at_ = stack_[depth_ - 1].end;
    }
}

std::span<const uint8_t> IffWalk::whole() const {
    const size_t end = static_cast<size_t>(data_.data() + data_.size() - file_.data());
    const size_t padded = std::min(end + ((end - start_) & 1U), file_.size());
    return file_.subspan(start_, padded - start_);
}

/* walk_chunks: the properties of `props` (PROP chunks of the LIST around the file's
 * FORM) first, then the file's own: each kept per scope and forgotten when it ends, as
 * the reader's walk does; the first pixel chunk in a picture FORM ends the walk. A BMHD
 * shorter than 20 bytes reads its missing bytes as 0, as the reader does. */
IlbmChunks walk_chunks(std::span<const uint8_t> file,
                       std::span<const std::span<const uint8_t>> props) {
    Properties properties;
    for (const std::span<const uint8_t> prop : props) {
        store_prop(prop, 0, properties);
    }
    IlbmChunks found;
    IffWalk walk(file);
    // The props given stand for a LIST around the file: the file's scopes are one deeper.
    const size_t base = props.empty() ? 0 : 1;
    for (IffWalk::Step step = walk.next();
         step != IffWalk::Step::end && step != IffWalk::Step::mangled; step = walk.next()) {
        if (step == IffWalk::Step::leave) {
            properties.leave(base + walk.depth());
            continue;
        }
        if (step != IffWalk::Step::chunk) {
            continue;
        }
        const bool in_form = walk.within() == platform::ID_FORM;
        const bool in_prop = walk.within() == platform::ID_PROP;
        if (!(in_form || in_prop) || !is_picture_form(walk.type())) {
            continue;
        }
        if (in_form && walk.id() == pixel_chunk(walk.type())) {
            found.has_body = true;
            found.form = walk.type();
            if (const auto* bmhd = properties.find(found.form, ID_BMHD)) {
                std::array<uint8_t, kBmhdBytes> raw{};
                std::copy_n(bmhd->begin(), std::min(bmhd->size(), kBmhdBytes), raw.begin());
                found.bmhd = parse_bmhd(raw);
                found.has_bmhd = true;
            }
            if (const auto* camg = properties.find(found.form, ID_CAMG)) {
                found.camg = *camg;
            }
            if (const auto* cmap = properties.find(found.form, ID_CMAP)) {
                found.cmap = *cmap;
            }
            if (const auto* dgbl = properties.find(found.form, ID_DGBL)) {
                found.dgbl = *dgbl;
            }
            return found;
        }
        if (is_property(walk.id())) {
            // A chunk's depth counts its container: a PROP's scope is the LIST around it.
            const size_t scope = base + walk.depth() - (in_prop ? 2 : 1);
            properties.store(walk.type(), walk.id(), scope, walk.data());
            // Before the pixel chunk, what a FORM has so far still says something.
            if (walk.id() == ID_BMHD && in_form) {
                std::array<uint8_t, kBmhdBytes> raw{};
                std::copy_n(walk.data().begin(), std::min(walk.data().size(), kBmhdBytes),
                            raw.begin());
                found.bmhd = parse_bmhd(raw);
                found.has_bmhd = true;
            }
        }
    }
    return found;
}

IffPages::IffPages(std::span<const uint8_t> file)
    : walk_(file, IffWalk::Outer::to_file_end),
      outer_form_(iff_kind(file).container == platform::ID_FORM) {}

/* next: FORMs of a picture type at any depth of LISTs and CATs (not inside other FORMs);
 * a LIST's PROPs apply to every FORM after them in it, and go when it ends. */
bool IffPages::next() {
    if (outer_form_) {
        return false;
    }
    for (IffWalk::Step step = walk_.next();
         step != IffWalk::Step::end && step != IffWalk::Step::mangled; step = walk_.next()) {
        if (step == IffWalk::Step::leave) {
            while (prop_count_ > 0 && prop_depths_[prop_count_ - 1] > walk_.depth()) {
                --prop_count_;
            }
            continue;
        }
        if (step != IffWalk::Step::enter) {
            continue;
        }
        const size_t depth = walk_.depth();
        if (walk_.id() == platform::ID_LIST || walk_.id() == platform::ID_CAT) {
            list_types_[depth] = walk_.id() == platform::ID_LIST
                                     ? walk_.type()
                                     : (depth == 0 ? 0 : list_types_[depth - 1]);
            continue;
        }
        walk_.skip_container();
        if (walk_.id() == platform::ID_PROP && walk_.within() == platform::ID_LIST &&
            prop_count_ < kMostProps) {
            prop_depths_[prop_count_] = depth;
            props_[prop_count_++] = walk_.whole();
        } else if (walk_.id() == platform::ID_FORM && is_picture_form(walk_.type())) {
            form_ = walk_.whole();
            list_type_ = depth == 0 ? 0 : list_types_[depth - 1];
            return true;
        }
    }
    return false;
}

} // namespace ilbm
