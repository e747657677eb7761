// The library: recognising, loading, saving and processing pictures through the plug-in
// modules (and libpng for PNG). It never prints, exits or reads the environment: every
// outcome is a result, or an Error with a result code and a sentence that a front end
// shows after the file's name ("cannot load 'x.pcx': " + sentence).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvi/export.h"
#include "orvi/image.h"
#include "orvi/limits.h"
#include "orvi/operation.h"

namespace orvi {

// The library's own result codes (2001 and up, beside the modules', which are below 2000).
inline constexpr int32_t kCannotRead = 2001;    // the file cannot be opened or read
inline constexpr int32_t kNotRecognised = 2002; // in no format orvi reads
inline constexpr int32_t kCannotWrite = 2003;   // the output cannot be made or written
inline constexpr int32_t kNoWriter = 2004;      // no format is written under that name
inline constexpr int32_t kDoesNotFit = 2005;    // the picture does not fit the format
inline constexpr int32_t kNoModule = 2006;      // a module cannot be loaded
inline constexpr int32_t kDamagedPng = 2007;    // libpng refused the file
inline constexpr int32_t kBadOperation = 2008;  // an operation's values or filter name
inline constexpr int32_t kNoSuchPage = 2009;    // a page the file does not have
inline constexpr int32_t kPageOutside = 2010;   // a page the file's table puts outside it
// Two of the modules' codes any caller may want by name.
inline constexpr int32_t kOutOfMemory = 7;    // no memory, or the memory limit
inline constexpr int32_t kTooManyPixels = 13; // more pixels than the pixel limit allows

// What kind of failure a code is, for front ends that sort them (Python's exceptions).
enum class ErrorKind : uint8_t {
    Memory,      // no memory, or a limit refused the picture
    Damaged,     // the file breaks its format's rules
    Unsupported, // a valid file of a kind or layout orvi does not read or write
    Access,      // a file, folder or module cannot be opened, read or written
    Usage,       // the caller asked for something that cannot be (a bad operation, name)
};

struct Error {
    int32_t code = 0;
    std::string sentence; // without the file's name, and without a front end's options
    // The setting that would change the outcome, by its field name in Options,
    // LoadOptions or SaveOptions ("max_pixels", "page", "format", "reduce", "force"), or
    // empty: a front end may name its own way to set it after the sentence.
    std::string option{};
    [[nodiscard]] ORVI_API ErrorKind kind() const;
};

struct Options {
    uint64_t max_pixels = kDefaultMaxPixels; // the largest picture read; 0: no limit
    uint64_t memory_limit = 0; // bytes all images and work may take; 0: half the machine's
                               // memory, at most 8 GiB
    std::string module_folder; // empty: the folder of the library, or its "orvi" folder
                               // when installed
    uint32_t threads = 0;      // threads one picture's work may use: 0 one a core, 1 the
                               // calling thread alone; results are the same for any number

    // The defaults, with the modules' folder from $ORVI_MODULE_PATH when that is set: how
    // a front end lets a person point at other modules (the library reads the environment
    // only when asked to, here).
    [[nodiscard]] ORVI_API static Options from_environment();
};

struct FormatInfo {
    std::string name;                    // "PNM", "PCX", "ILBM", "XPM", "PNG"
    std::vector<std::string> extensions; // lower case, no dot; the usual one first
    bool reads = false;
    bool writes = false;
    uint32_t most_side = 0;               // the largest side the writer holds
    std::vector<uint32_t> palette_depths; // depths written with a palette
    bool true_colour = false;             // whether pictures of any colours are written
    bool bitmap = false;                  // whether it writes black and white alone
    bool plain = false;                   // whether SaveOptions::plain writes its samples as text
    bool animates = false;                // whether it holds animations (save_animation)
    std::string grey_extension;           // a name with this extension asks for grey; or empty
    std::string file_extension;           // what its files are named, for a name to save under
};

// Called with the percentage of the running load or save done.
using Progress = std::function<void(int32_t percent)>;

struct LoadOptions {
    bool details = true; // fill Image::details()
    Progress progress;
    uint32_t page = 1; // which picture of a file holding several (DCX, an IFF LIST or CAT)
    // Keep what the file gives beside the 24-bit pixels: a palette picture's palette and
    // indices, transparency, and the description. Without it a load costs the pixels alone.
    bool extras = true;
    bool chunks = false; // fill Image::chunks()
};

struct SaveOptions {
    std::string format;          // a format's name or extension ("png", "ILBM", "pgm"); empty:
                                 // the path's extension
    bool plain = false;          // PNM: samples as text
    // 0: a palette picture keeps its palette at the smallest depth that holds it, and a
    // picture of few colours takes the smallest depth that holds them where the format has
    // palettes; 24: true colour; 1 to 8: a palette of at most 2^depth colours.
    uint32_t depth = 0;
    bool compress = true;        // ILBM: ByteRun1
    bool exact = false;          // refuse a depth that does not hold the colours, not reduce them
    bool reduce = false;         // reduce without a note when the colours do not fit
    bool dither = false;         // when reducing: Floyd-Steinberg
    // Where the format holds no transparency (or always, when given): transparent pixels
    // composed onto this colour (0xRRGGBB) rather than black.
    std::optional<uint32_t> background;
    bool names = false;          // XPM: colours by their X11 name where one matches exactly
    bool force = false;          // replace a file the user may not write
    bool sweep_leftovers = true; // remove this target's temporary files older than a day
    bool flush_folder = true;    // flush the folder after the save; false when the caller
                                 // calls flush_folder once after many saves into it
    Progress progress;
};

// A file name with each control character written as \n, \t, \r or \xHH, so that no
// name can break a message's line or pose as another message.
[[nodiscard]] ORVI_API std::string escaped(std::string_view name);

// The escaped name in single quotes, as sentences name files.
[[nodiscard]] ORVI_API std::string quoted(std::string_view name);

// What `orvi info` says of a loaded picture, in a line for people: "NAME: FORMAT, W x H,
// D bits per pixel in the file, label value, ..." and ", incomplete: GAPS" when its file's
// data left gaps.
[[nodiscard]] ORVI_API std::string summary(std::string_view name, const Image& image);

// The byte limit a Library's memory has by default: half the machine's memory, at most
// 8 GiB.
[[nodiscard]] ORVI_API uint64_t default_memory_limit();

class Library;

// The pictures of one file, read once and loaded one at a time: the pages of a DCX or an
// IFF CAT or LIST, the frames of an animation, or the one picture of a file of one. It
// lives no longer than the Library that opened it. Frames load fastest in order: each is
// drawn from those before it, and going back starts again from the first.
class ORVI_API Pictures {
public:
    Pictures(Pictures&& other) noexcept;
    Pictures& operator=(Pictures&& other) noexcept;
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;
    ~Pictures();

    [[nodiscard]] uint32_t count() const;
    // Whether they are the frames of an animation (each Image's duration() says how long
    // it is shown), not pages.
    [[nodiscard]] bool frames() const;
    // Picture `number`, from 1 (LoadOptions::page is not used), or nothing with the error.
    [[nodiscard]] std::optional<Image> load(uint32_t number, Error& error,
                                            const LoadOptions& options = {});

    struct State;

private:
    friend class Library;
    explicit Pictures(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

class ORVI_API Library {
public:
    explicit Library(Options options = {});
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library();

    [[nodiscard]] const Options& options() const;

    // Every format, in the order of the format table.
    [[nodiscard]] static std::vector<FormatInfo> formats();
    // The format a save to `path` writes: `name` (a format's name or extension) when
    // given, else the path's extension; nothing with an Error (kNoWriter) otherwise.
    [[nodiscard]] static std::optional<FormatInfo>
    output_format(const std::string& path, const std::string& name, Error& error);

    // The name of the format a file's content announces, never its name.
    [[nodiscard]] std::optional<std::string> recognise(const std::string& path, Error& error) const;
    [[nodiscard]] std::optional<std::string> recognise(std::span<const uint8_t> bytes,
                                                       Error& error) const;

    // Loads a file, read once; what can be read only once (a pipe, a device) is read
    // into a private temporary file first.
    [[nodiscard]] std::optional<Image> load(const std::string& path, Error& error,
                                            const LoadOptions& options = {});
    // Loads a file held in memory.
    [[nodiscard]] std::optional<Image> load(std::span<const uint8_t> bytes, Error& error,
                                            const LoadOptions& options = {});
    // Loads what can be read from `fd` to its end (standard input).
    [[nodiscard]] std::optional<Image> load_from(int fd, Error& error,
                                                 const LoadOptions& options = {});

    // Called for each picture of a file in turn: its number (from 1), how many the file
    // holds, and the image, or the error when that picture did not load. False stops.
    using EachPicture = std::function<bool(uint32_t page, uint32_t pages,
                                           std::optional<Image> image, const Error& error)>;
    // Loads every picture of a file holding several (a file of one picture has one),
    // reading the file once; options.page, when not 0, picks that picture alone. False
    // with the error, before any call, when the file cannot be read or recognised or has
    // no such picture.
    [[nodiscard]] bool load_pages(const std::string& path, const LoadOptions& options,
                                  const EachPicture& each, Error& error);
    // The pictures of a file, or of what can be read from `fd` to its end, to load one at
    // a time; nothing with the error when it cannot be read or recognised.
    [[nodiscard]] std::optional<Pictures> open(const std::string& path, Error& error);
    [[nodiscard]] std::optional<Pictures> open_from(int fd, Error& error);
    // The same for what can be read from `fd` to its end (standard input).
    [[nodiscard]] bool load_pages_from(int fd, const LoadOptions& options, const EachPicture& each,
                                       Error& error);
    // An image of the library's memory holding a copy of `pixels` (`bytes_per_pixel` 1
    // or 3, rows without padding), or black when `pixels` is null.
    [[nodiscard]] std::optional<Image> make_image(uint32_t width, uint32_t height,
                                                  uint32_t bytes_per_pixel, const uint8_t* pixels,
                                                  Error& error);
    // A copy of an image in this library's memory: its pixels and all it carries (palette
    // and indices, transparency, description, format and details).
    [[nodiscard]] std::optional<Image> copy_image(const Image& image, Error& error);
    // A palette picture from a palette (red, green, blue an entry, 1 to 256 entries) and a
    // copy of `indices` (a byte a pixel, each below the entries); `transparent` is the
    // index of the transparent colour, or -1. Its pixels are the entries' colours.
    [[nodiscard]] std::optional<Image> make_palette_image(uint32_t width, uint32_t height,
                                                          std::span<const uint8_t> palette,
                                                          const uint8_t* indices,
                                                          int32_t transparent, Error& error);
    // A picture with an opacity a pixel from a copy of `rgba` (four bytes a pixel, the
    // colours not composed); its pixels are composed onto black, as a reader's are.
    [[nodiscard]] std::optional<Image> make_rgba_image(uint32_t width, uint32_t height,
                                                       const uint8_t* rgba, Error& error);

    // Saves an image; an existing file is replaced only when the save succeeded, a device
    // or pipe is written. `notes`, when given, receives what is worth telling.
    [[nodiscard]] bool save(const Image& image, const std::string& path, const SaveOptions& options,
                            Error& error, std::vector<std::string>* notes = nullptr);
    // Gives the frames of an animation to save, one a call, in order; nothing at the end.
    // A frame that cannot be made ends the save with its error (`error.code` not 0).
    using NextImage = std::function<std::optional<Image>(Error& error)>;
    // Saves the frames `next` gives as one animation that loops for ever (GIF, WebP: the
    // formats whose FormatInfo::animates), each shown for its duration() (a still's, a
    // tenth of a second), replacing an existing file only when the save succeeded.
    [[nodiscard]] bool save_animation(const NextImage& next, const std::string& path,
                                      const SaveOptions& options, Error& error,
                                      std::vector<std::string>* notes = nullptr);
    // The frames of a still's colour cycling (Cycling) over `seconds`, for save_animation:
    // copies of `still` with their palette turned, each shown until the palette next
    // changes. When every range is back where it began sooner, the frames end there (the
    // saved animation loops). A still that does not cycle gives itself, shown for
    // `seconds`. `still` must outlive what is returned.
    [[nodiscard]] NextImage cycling_frames(const Image& still, double seconds);
    // Saves an image to `fd` (standard output) in options.format, which must be given.
    [[nodiscard]] bool save_to(const Image& image, int fd, const SaveOptions& options, Error& error,
                               std::vector<std::string>* notes = nullptr);

    // Applies one operation; the image may change size or become grey.
    [[nodiscard]] bool apply(Image& image, const Operation& operation, Error& error);
    // The predefined convolution filters.
    [[nodiscard]] std::vector<Filter> filters(Error& error);
    // The filter a name stands for (case, spaces, dashes and underscores aside), or
    // nothing with an Error whose sentence lists the names there are.
    [[nodiscard]] std::optional<Filter> find_filter(const std::string& name, Error& error);

    // Opens every module now, so that processes forked later find them loaded.
    void open_modules();

    // Runs work(first, end) over [0, count) in bands, one a thread this library's work may
    // use (Options::threads), each of at least `least` items, the first on the calling
    // thread. `work` writes only its band's output, so that the result is the same for any
    // number of threads.
    void in_bands(size_t count, size_t least,
                  const std::function<void(size_t first, size_t end)>& work) const;

    // Each pixel's first index in `palette` (`colours` red, green, blue triples, 1 to 256)
    // as an image of a byte a pixel in this library's memory; the pixels are `width` x
    // `height`, three bytes each. Nothing when a pixel's colour is not in the palette
    // (kDoesNotFit), or without memory.
    [[nodiscard]] std::optional<Image> palette_indices(const uint8_t* pixels, uint32_t width,
                                                       uint32_t height, const uint8_t* palette,
                                                       size_t colours, Error& error);

    // The library's memory now: what its images and work hold, and the most they held.
    struct Memory {
        uint64_t bytes = 0;
        uint64_t blocks = 0;
        uint64_t peak_bytes = 0;
        uint64_t limit = 0;
    };
    [[nodiscard]] Memory memory() const;

private:
    friend struct LibraryInside; // the library's own code and its tests
    friend class PageLoader;     // the library's loading
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace orvi
