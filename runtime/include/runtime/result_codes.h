// The one table of result codes every codec module reports, with the sentence the
// command prints for each and the kind of failure it is. 0 is success everywhere; each
// codec has its own range.
// Header only: the host reads it without linking any module.
#pragma once

#include <array>
#include <cstdint>

// Entry frame
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoDosLibrary = -1;

// Memory and file access, shared by all codecs (below 100)
inline constexpr int32_t kShortWrite = 1;
inline constexpr int32_t kNoFileInfoMemory = 2;
inline constexpr int32_t kCannotExamine = 4;
inline constexpr int32_t kCannotLock = 5;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kNotPcx = 10;
inline constexpr int32_t kCannotOpen = 11;
inline constexpr int32_t kShortRead = 12;
inline constexpr int32_t kTooManyPixels = 13;

// ilbm (from 102)
inline constexpr int32_t kIffNoHandle = 102;
inline constexpr int32_t kIffBodyShort = 103;
inline constexpr int32_t kIffEmptyCmap = 104;
inline constexpr int32_t kIffBadPlanes = 105;
inline constexpr int32_t kIffNoBmhd = 106;
inline constexpr int32_t kIffNoPixels = 108;
inline constexpr int32_t kIffEmptyBody = 107;
inline constexpr int32_t kIffCannotOpen = 109;
inline constexpr int32_t kIffStreamFailed = 110;
inline constexpr int32_t kNoIffParseLibrary = 111;
inline constexpr int32_t kIffParseError = 113;
inline constexpr int32_t kIffBadCompression = 114;
inline constexpr int32_t kIffChunkWriteFailed = 116;
inline constexpr int32_t kIffCorruptRuns = 117;
inline constexpr int32_t kIffWriteError = 118;
inline constexpr int32_t kIffEmptyCamg = 119;
inline constexpr int32_t kIffNoAnhd = 120;
inline constexpr int32_t kIffAnimOperation = 121;
inline constexpr int32_t kIffDeltaDamaged = 122;
inline constexpr int32_t kIffDeltaOutside = 123;
inline constexpr int32_t kIffAnimFirstFrame = 124;

// ppm (from 1002)
inline constexpr int32_t kPpmBadMagic = 1002;
inline constexpr int32_t kPpmBadWidth = 1003;
inline constexpr int32_t kPpmBadHeight = 1004;
inline constexpr int32_t kPpmNoSize = 1005;
inline constexpr int32_t kPpmBadMaxval = 1006;
inline constexpr int32_t kPamBadHeader = 1007;
inline constexpr int32_t kPamBadTuple = 1008;

// pcx (from 1103)
inline constexpr int32_t kPcxBadEncoding = 1103;
inline constexpr int32_t kPcxBadBitsPerPixel = 1104;
inline constexpr int32_t kPcxBadPlanes = 1105;
inline constexpr int32_t kPcxBadWindow = 1106;

// xpm (from 1203)
inline constexpr int32_t kXpmBadCharsPerPixel = 1203;
inline constexpr int32_t kXpmBadColours = 1204;
inline constexpr int32_t kXpmBadWidth = 1205;
inline constexpr int32_t kXpmBadHeight = 1206;
inline constexpr int32_t kXpmTooManyColours = 1207;

// What kind of failure a code is, for front ends that sort them.
enum class CodeKind : uint8_t {
    Memory,      // no memory, or a limit refused the picture
    Damaged,     // the file breaks its format's rules
    Unsupported, // a valid file of a kind or layout orvi does not read or write
    Access,      // a file or library cannot be opened, read or written
};

struct ResultCodeText {
    int32_t code;
    const char* text;
    CodeKind kind = CodeKind::Damaged;
    // The save option (by its SaveOptions name) that would change the outcome, or null.
    const char* option = nullptr;
};

inline constexpr std::array kResultCodeTexts = {
    ResultCodeText{kOk, "success"},
    ResultCodeText{kNoDosLibrary, "the file system library could not be opened", CodeKind::Access},
    ResultCodeText{kShortWrite, "the file could not be written completely (is the disk full?)",
                   CodeKind::Access},
    ResultCodeText{kNoFileInfoMemory, "no memory to examine the file", CodeKind::Memory},
    ResultCodeText{kCannotExamine, "the file could not be examined", CodeKind::Access},
    ResultCodeText{kCannotLock, "the file does not exist or cannot be accessed", CodeKind::Access},
    ResultCodeText{kOutOfMemory, "out of memory (the picture is too large for the memory limit)",
                   CodeKind::Memory},
    ResultCodeText{kNotPcx, "not a PCX file"},
    ResultCodeText{kCannotOpen, "the file could not be opened", CodeKind::Access},
    ResultCodeText{kShortRead, "the file could not be read completely", CodeKind::Access},
    ResultCodeText{kTooManyPixels, "the picture has more pixels than the limit allows",
                   CodeKind::Memory},
    ResultCodeText{kIffNoHandle, "no IFF handle could be allocated"},
    ResultCodeText{kIffBodyShort, "the BODY chunk could not be read completely"},
    ResultCodeText{kIffEmptyCmap, "the CMAP chunk is empty"},
    ResultCodeText{kIffBadPlanes, "unsupported number of bit planes", CodeKind::Unsupported},
    ResultCodeText{kIffNoBmhd, "the file has no BMHD chunk"},
    ResultCodeText{kIffNoPixels, "the picture has a width or height of 0"},
    ResultCodeText{kIffEmptyBody, "the BODY chunk is empty"},
    ResultCodeText{kIffCannotOpen, "the file could not be opened", CodeKind::Access},
    ResultCodeText{kIffStreamFailed, "the IFF stream could not be opened"},
    ResultCodeText{kNoIffParseLibrary, "the IFF parsing library could not be opened",
                   CodeKind::Access},
    ResultCodeText{kIffParseError, "the IFF structure is damaged"},
    ResultCodeText{kIffBadCompression, "unknown BMHD compression method", CodeKind::Unsupported},
    ResultCodeText{kIffChunkWriteFailed, "a chunk could not be written completely",
                   CodeKind::Access},
    ResultCodeText{kIffCorruptRuns, "corrupt ByteRun1 data"},
    ResultCodeText{kIffWriteError, "the IFF file could not be written", CodeKind::Access},
    ResultCodeText{kIffEmptyCamg, "the CAMG chunk is empty"},
    ResultCodeText{kIffNoAnhd, "a frame of the animation has no ANHD chunk"},
    ResultCodeText{kIffAnimOperation, "the animation's frames are coded in a way orvi does not read",
                   CodeKind::Unsupported},
    ResultCodeText{kIffDeltaDamaged, "a frame's DLTA chunk is cut short or damaged"},
    ResultCodeText{kIffDeltaOutside, "a frame's DLTA chunk writes outside the frame"},
    ResultCodeText{kIffAnimFirstFrame,
                   "the animation's first frame is not a bit-plane picture of 1 to 8 planes",
                   CodeKind::Unsupported},
    ResultCodeText{kPpmBadMagic, "not a PBM, PGM or PPM file (unrecognised magic)"},
    ResultCodeText{kPpmBadWidth, "the width is outside 1..32767"},
    ResultCodeText{kPpmBadHeight, "the height is outside 1..32767"},
    ResultCodeText{kPpmNoSize, "the file ended before its size"},
    ResultCodeText{kPpmBadMaxval, "invalid maximum sample value"},
    ResultCodeText{kPamBadHeader, "the PAM header is incomplete or has a line it does not allow"},
    ResultCodeText{kPamBadTuple, "the PAM tuple type or depth is not one orvi reads"},
    ResultCodeText{kPcxBadEncoding, "unknown PCX encoding", CodeKind::Unsupported},
    ResultCodeText{kPcxBadBitsPerPixel, "PCX bits per pixel is not 1, 2, 4 or 8",
                   CodeKind::Unsupported},
    ResultCodeText{kPcxBadPlanes, "PCX colour planes are not 1, 3 or 4", CodeKind::Unsupported},
    ResultCodeText{kPcxBadWindow, "invalid picture window"},
    ResultCodeText{kXpmBadCharsPerPixel, "XPM characters per pixel outside 1..5"},
    ResultCodeText{kXpmBadColours, "XPM number of colours outside 1..32766"},
    ResultCodeText{kXpmBadWidth, "XPM width outside 1..32767"},
    ResultCodeText{kXpmBadHeight, "XPM height outside 1..32767"},
    ResultCodeText{kXpmTooManyColours,
                   "the picture has more than 32766 colours, more than an XPM file holds",
                   CodeKind::Unsupported, "depth"},
};

// The table's entry of a code, or nullptr when the code is not in the table.
[[nodiscard]] constexpr const ResultCodeText* result_code_entry(int32_t code) {
    for (const ResultCodeText& entry : kResultCodeTexts) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// The sentence for a code, or nullptr when the code is not in the table.
[[nodiscard]] constexpr const char* result_code_text(int32_t code) {
    const ResultCodeText* entry = result_code_entry(code);
    return entry != nullptr ? entry->text : nullptr;
}
