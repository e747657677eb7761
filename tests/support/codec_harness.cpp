// The codec test harness: start_prog calls, memory files, books checks.
#include "tests/support/codec_harness.h"

#include "runtime/result_codes.h"
#include "tests/support/peers.h"

#include <algorithm>
#include <filesystem>

namespace testing_support {

void CodecHarness::TearDown() {
    expect_clean_books();
    platform::seam::reset();
}

int32_t CodecHarness::call(uint32_t command, const char* name, OrviPool* pool,
                           int32_t initial_result) {
    request_.Pic = &pic_;
    CodecArgs args{&request_, name, command, initial_result, pool, nullptr};
    EXPECT_EQ(start_prog(&args), 0U);
    return args.Result;
}

int32_t CodecHarness::load_bytes(const Bytes& bytes) {
    static constexpr const char* kName = "memory:input";
    platform::seam::set_memory_file(kName, bytes.data(), bytes.size());
    const int32_t code = call(kCommandLoad, kName, pool_.handle());
    platform::seam::set_memory_file(nullptr, nullptr, 0);
    return code;
}

int32_t CodecHarness::load_file(const std::string& path) {
    return call(kCommandLoad, path.c_str(), pool_.handle());
}

int32_t CodecHarness::save(const std::string& path, Picture& pic, uintptr_t save_mode) {
    request_.SaveMode = save_mode;
    request_.Pic = &pic;
    CodecArgs args{&request_, path.c_str(), kCommandSave, 0, pool_.handle(), nullptr};
    EXPECT_EQ(start_prog(&args), 0U);
    return args.Result;
}

Bytes CodecHarness::pixels() const {
    if (pic_.Data == nullptr) {
        return {};
    }
    const size_t size = static_cast<size_t>(pic_.Width) * static_cast<size_t>(pic_.Height) * 3;
    return Bytes(pic_.Data, pic_.Data + size);
}

void CodecHarness::expect_clean_books() {
    if (pic_.Data != nullptr && pool_.owns(pic_.Data)) {
        EXPECT_EQ(pool_.live_blocks(), 1U) << "have blocks beyond the picture";
        pool_.free(pic_.Data);
        pic_.Data = nullptr;
    }
    EXPECT_EQ(pool_.live_blocks(), 0U) << "have live pool blocks, want none";
    EXPECT_EQ(platform::seam::live_dos_objects(), 0) << "a lock, handle or info block is open";
    EXPECT_EQ(platform::seam::live_library_openings(), 0) << "a library is still open";
    EXPECT_EQ(platform::seam::live_iff_handles(), 0) << "an IFF handle is still allocated";
}

std::string CodecHarness::expect_same_file_on_any_threads(const std::string& folder, Picture& pic,
                                                          uintptr_t save_mode) {
    const std::string one = folder + "/one-thread";
    pool_.set_threads(1);
    EXPECT_EQ(save(one, pic, save_mode), kOk);
    const Bytes alone = read_file(one);
    for (const uint32_t threads : {2U, 3U}) {
        const std::string many = folder + "/threads-" + std::to_string(threads);
        pool_.set_threads(threads);
        EXPECT_EQ(save(many, pic, save_mode), kOk);
        EXPECT_EQ(read_file(many), alone) << threads << " threads";
    }
    pool_.set_threads(1);
    return one;
}

void CodecHarness::expect_file_faults_reported(const Bytes& file) {
    struct Fault {
        const char* reason;
        void (*arm)(platform::seam::Faults&);
        int32_t code;
    };
    const Fault faults[] = {
        {"no information block", [](auto& f) { f.fail_dos_object = true; }, kNoFileInfoMemory},
        {"examine fails", [](auto& f) { f.fail_examine = true; }, kCannotExamine},
        {"lock fails", [](auto& f) { f.fail_lock = true; }, kCannotLock},
        {"open fails", [](auto& f) { f.fail_open = true; }, kCannotOpen},
        {"short read", [](auto& f) { f.short_read = true; }, kShortRead},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.reason);
        fault.arm(platform::seam::faults());
        EXPECT_EQ(load_bytes(file), fault.code);
        platform::seam::reset();
        expect_cleared(pic_);
        expect_clean_books();
    }
}

std::vector<int32_t> CodecHarness::gauge_reports(const Bytes& file) {
    static std::vector<int32_t> reports;
    reports.clear();
    platform::seam::set_memory_file("memory:gauge", file.data(), file.size());
    request_.Pic = &pic_;
    CodecArgs args{&request_, "memory:gauge", kCommandLoad,
                   0,         pool_.handle(), [](int32_t percent) { reports.push_back(percent); }};
    EXPECT_EQ(start_prog(&args), 0U);
    EXPECT_EQ(args.Result, kOk);
    platform::seam::set_memory_file(nullptr, nullptr, 0);
    return reports;
}

uint64_t CodecHarness::expect_each_allocation_failure_reported(const Bytes& file) {
    for (uint64_t nth = 1;; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth) + " fails");
        pool_.fail_allocation(nth);
        const int32_t code = load_bytes(file);
        pool_.fail_allocation(0);
        if (code == kOk) {
            expect_clean_books();
            return nth;
        }
        EXPECT_EQ(code, kOutOfMemory);
        expect_cleared(pic_);
        expect_clean_books();
    }
}

int CodecHarness::check_corpus(const std::string& format, const std::string& peer,
                               std::span<const char* const> differs) {
    const bool have_peer = have_program(peer);
    int compared = 0;
    for (const std::string& path : corpus_files(format)) {
        SCOPED_TRACE(path);
        const std::string name = std::filesystem::path(path).filename().string();
        const int32_t code = load_file(path);
        EXPECT_NE(result_code_text(code), nullptr) << "have code " << code;
        const bool on_purpose = std::find(differs.begin(), differs.end(), name) != differs.end();
        if (code == kOk && have_peer && !on_purpose && name.rfind("bad-", 0) != 0) {
            const auto want =
                run_capture(peer + " " + shell_quote(path) + " 2>/dev/null | pamtopnm");
            if (want) {
                const Bytes have = pixels();
                EXPECT_GE(want->size(), have.size());
                if (want->size() >= have.size()) {
                    const Bytes raster(want->end() - static_cast<ptrdiff_t>(have.size()),
                                       want->end());
                    EXPECT_EQ(have, raster) << "pixels differ from " << peer << "'s";
                }
                ++compared;
            }
        }
        if (code != kOk) {
            expect_cleared(pic_);
        }
        expect_clean_books();
    }
    return compared;
}

void expect_cleared(const Picture& pic) {
    EXPECT_EQ(pic.Data, nullptr);
    EXPECT_EQ(pic.Width, 0);
    EXPECT_EQ(pic.Height, 0);
    EXPECT_EQ(pic.Extra, 0U);
}

} // namespace testing_support
