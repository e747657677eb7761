// The walk through an EA IFF 85 file's containers (FORM, LIST, CAT, PROP) and chunks, in
// file order, that the iffparse stand-in and every other look at the family's structure
// share: bounded by each container and by the file, a header read at a time through the
// bounded cursor. No allocation; the bytes come from a read routine (a file, or memory).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

class IffWalker {
public:
    static constexpr size_t kMostDepth = 16; // nested containers
    enum class Outer : uint8_t {
        own_size,    // the outer FORM, LIST or CAT ends where its size says (cut to the file)
        to_file_end, // it ends with the file (writers get a LIST's or CAT's size wrong)
        prop,        // the outer container is a PROP, ending where its size says
    };
    enum class Step : uint8_t {
        enter,   // a container begins
        chunk,   // a chunk
        leave,   // a container ends
        end,     // the outer container is over
        not_iff, // the file does not start with a container it may
        mangled, // a chunk runs past its container, or containers nest too deep
        failed,  // a header could not be read
    };
    // Reads `size` bytes at `at` into `out`; false when it cannot.
    using Read = bool (*)(void* context, int64_t at, uint8_t* out, size_t size);

    IffWalker(int64_t file_size, Read read, void* context, Outer outer = Outer::own_size);

    // The next step; after end, not_iff, mangled or failed, end for ever.
    Step next();
    // Goes past the contents of the container just entered: its `leave` comes next.
    void skip_container();

    // Of the step just taken: the chunk's or container's id; a container's type, or the
    // type of a chunk's container; the container around it (0 for the outer one); how
    // many containers are around it (a container not counting itself); where it starts
    // (its id); and its data: a chunk's, or a container's chunks after its type.
    [[nodiscard]] uint32_t id() const { return id_; }
    [[nodiscard]] uint32_t type() const { return type_; }
    [[nodiscard]] uint32_t within() const { return within_; }
    [[nodiscard]] size_t depth() const { return step_depth_; }
    [[nodiscard]] int64_t start() const { return start_; }
    [[nodiscard]] int64_t data_at() const { return data_at_; }
    [[nodiscard]] int64_t data_size() const { return data_size_; }

private:
    struct Open {
        uint32_t id;
        uint32_t type;
        int64_t start;
        int64_t end;
    };
    Step enter(uint32_t id, uint32_t type, int64_t start, int64_t end);
    Step leave();
    Step stop(Step step);

    int64_t file_size_;
    Read read_;
    void* context_;
    Outer outer_;
    std::array<Open, kMostDepth> stack_{};
    size_t depth_ = 0; // containers open
    size_t step_depth_ = 0;
    int64_t at_ = 0;
    bool started_ = false;
    bool done_ = false;
    uint32_t id_ = 0;
    uint32_t type_ = 0;
    uint32_t within_ = 0;
    int64_t start_ = 0;
    int64_t data_at_ = 0;
    int64_t data_size_ = 0;
};

// Whether an id is a container's: FORM, LIST, CAT or PROP.
[[nodiscard]] bool is_iff_container(uint32_t id);

} // namespace platform
