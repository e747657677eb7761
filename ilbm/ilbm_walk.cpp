// The walk through an IFF file held in memory, the chunks the reader uses as that walk
// finds them, and the pictures of a LIST or CAT. Pure: reads only the bytes it is given,
// through the bounded cursor; no globals, no allocation.
#include <algorithm>
#include <array>

#include "ilbm/ilbm_rules.h"
#include "runtime/cursor.h"

namespace ilbm {
namespace {

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
    for (IffWalk::Step step = walk.next(); IffWalk::goes_on(step); step = walk.next()) {
        if (step == IffWalk::Step::enter && walk.depth() == 0) {
            type = walk.type();
        } else if (step == IffWalk::Step::chunk && walk.depth() == 1 && is_property(walk.id())) {
            properties.store(type, walk.id(), scope, walk.data());
        }
    }
}

} // namespace

IffWalk::IffWalk(std::span<const uint8_t> file, Outer outer)
    : IffWalker(
          static_cast<int64_t>(file.size()),
          [](void* context, int64_t at, uint8_t* out, size_t size) {
              const auto* bytes = static_cast<const std::span<const uint8_t>*>(context);
              if (at < 0 || static_cast<size_t>(at) > bytes->size() ||
                  bytes->size() - static_cast<size_t>(at) < size) {
                  return false;
              }
              std::copy_n(bytes->begin() + at, size, out);
              return true;
          },
          &file_, outer),
      file_(file) {}

std::span<const uint8_t> IffWalk::whole() const {
    const auto begin = static_cast<size_t>(start());
    const auto end = static_cast<size_t>(data_at() + data_size());
    const size_t padded = std::min(end + ((end - begin) & 1U), file_.size());
    return file_.subspan(begin, padded - begin);
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
    for (IffWalk::Step step = walk.next(); IffWalk::goes_on(step); step = walk.next()) {
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
    for (IffWalk::Step step = walk_.next(); IffWalk::goes_on(step); step = walk_.next()) {
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
