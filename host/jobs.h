// The jobs the commands are made of: recognising a file, loading it through its module,
// saving through a module with an atomic replace, and complaining. Shared by convert,
// info and demo.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/atomic_save.h"
#include "host/formats.h"
#include "host/host_pool.h"
#include "host/modules.h"
#include "host/spool.h"
#include "runtime/records.h"

namespace host {

// Prints "orvi: SENTENCE" on stderr.
void complain(const std::string& sentence);

// Makes `folder` unless it exists; false after saying why it cannot.
[[nodiscard]] bool make_folder(const std::string& folder);

// The sentence for a module's result code, with the code.
[[nodiscard]] std::string result_code_sentence(int32_t code);

// How far the values string of an XPM file is looked for: it may follow a long comment
// (a licence), where the first bytes announce no format.
inline constexpr size_t kLongHeadBytes = 512 * 1024;

// The first `size` bytes of a file (fewer when it is shorter), or the reason there are none.
[[nodiscard]] std::optional<std::vector<uint8_t>> read_head(const std::string& path,
                                                            std::string& error, size_t size = 4096);

// A progress bar unless quiet; on a terminal, or anywhere when forced.
[[nodiscard]] bool show_progress(bool quiet, bool forced);

// How a file is named in sentences: "standard input" or "standard output" for "-".
[[nodiscard]] std::string shown_name(const std::string& path, bool output);

// The name by which the modules can read `path`: the path itself for a file, else a
// spool filled from it, for what can be read only once (standard input as "-", pipes,
// devices); nullopt with a sentence when it cannot be read.
[[nodiscard]] std::optional<std::string>
readable_source(const std::string& path, std::optional<Spool>& spool, std::string& error);

// Loads `path` ("-": standard input) into `picture` through its format's module, or
// libpng for PNG; false with the reason on failure. `found`, when given, receives the
// format.
[[nodiscard]] bool load(HostPool& pool, const std::string& path, OwnedPicture& picture,
                        CodecRequest& request, bool progress, std::string& error,
                        Format* found = nullptr);

struct SaveSettings {
    bool plain = false;
    bool progress = false;
    uint32_t depth = 0;        // palette writers: 1 to 8, or 0 / 24 for true colour
    bool uncompressed = false; // ILBM: a plain BODY instead of ByteRun1
    bool reduce = false;       // palette writers: median cut when the colours do not fit
    bool dither = false;       // with reduce: Floyd-Steinberg error diffusion
    std::optional<Format> to;  // the format to write; none: the one `path`'s extension names
    ReplaceRules replace;      // what an existing target allows
};

// Saves `picture` to `path` ("-": standard output) in the settings' format, replacing
// an existing file only on success; false with a sentence on failure.
[[nodiscard]] bool save(HostPool& pool, const std::string& path, Picture& picture,
                        const SaveSettings& settings, std::string& error);

} // namespace host
