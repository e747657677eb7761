// Calls a codec module's start_prog the way the host does, with the test pool, and
// checks the books afterwards: no pool block beyond the handed-over picture, no dos
// object, no library left open. Shared by every codec's test binary.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <span>
#include <vector>

#include "lib/host_pool.h"
#include "platform/seams.h"
#include "runtime/records.h"
#include "tests/support/files.h"

extern "C" uint32_t start_prog(CodecArgs* args);

namespace testing_support {

class CodecHarness : public ::testing::Test {
protected:
    void TearDown() override;

    // Loads `bytes` as a file served from memory. Returns Result.
    int32_t load_bytes(const Bytes& bytes);
    // Loads a file from disk. Returns Result.
    int32_t load_file(const std::string& path);
    // Saves `pic` to `path` with `save_mode`. Returns Result.
    int32_t save(const std::string& path, Picture& pic, uintptr_t save_mode);
    // Saves `pic` with `save_mode` into `folder` on 1, 2 and 3 threads and expects the
    // same file each time. Leaves the pool at one thread; returns the file's path.
    std::string expect_same_file_on_any_threads(const std::string& folder, Picture& pic,
                                                uintptr_t save_mode);
    // Runs start_prog with everything given.
    int32_t call(uint32_t command, const char* name, OrviPool* pool, int32_t initial_result = 0);

    // The loaded picture's bytes (Width x Height x 3).
    [[nodiscard]] Bytes pixels() const;
    // Frees the loaded picture and checks that nothing else is left live.
    void expect_clean_books();
    // Loads `file` under each dos fault in turn (no information block, lock, examine,
    // open, short read) and expects the code of each, a cleared picture and clean books.
    void expect_file_faults_reported(const Bytes& file);
    // Loads `file` with a progress routine and returns what it reported; the load must
    // succeed.
    std::vector<int32_t> gauge_reports(const Bytes& file);
    // Loads `file` with each pool allocation failing in turn until the load succeeds:
    // every failing load reports 7 with a cleared picture and clean books. Returns how
    // many allocations the successful load made.
    uint64_t expect_each_allocation_failure_reported(const Bytes& file);
    // Loads every corpus file of `format`: each loads or is refused with a code from the
    // table, with clean books. A file `peer` (a program writing PPM) also reads must give
    // the same pixels, unless its name is in `differs` or starts with "bad-". Returns the
    // files compared; 0 without the peer.
    int check_corpus(const std::string& format, const std::string& peer,
                     std::span<const char* const> differs);

    orvi::HostPool pool_;
    Picture pic_{};
    CodecRequest request_{};
};

// Gives a failing load's picture fields: Data, Width, Height and Extra must be 0.
void expect_cleared(const Picture& pic);

} // namespace testing_support
