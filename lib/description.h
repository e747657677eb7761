// The pieces the formats share in reading and writing a picture's description: texts in
// ISO 8859-1 (the IFF family's and PNG's tEXt) and in UTF-8 (ours), and how the
// description is shown.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvi/description.h"

namespace orvi {

// ISO 8859-1 bytes as UTF-8, stopping at the first NUL (IFF texts may carry one).
[[nodiscard]] std::string latin1_to_utf8(std::string_view text);
// UTF-8 as ISO 8859-1; false when a character has no place there (it becomes '?').
bool utf8_to_latin1(std::string_view text, std::string& out);

// "registers 20-31, 18.75 steps a second, forward" (", not cycling" when it is not live).
[[nodiscard]] std::string range_text(const ColourRange& range);

// One of the IFF family's descriptive chunks (NAME, AUTH, "(c) ", ANNO, FVER, DPI, GRAB,
// CAMG, CRNG, CCRT, DRNG, DEST, SPRT) into the description; other ids are passed over.
void describe_iff_chunk(uint32_t id, std::span<const uint8_t> data, Description& description);
// The description as whole IFF chunks (texts, DPI, GRAB, DEST, SPRT, the ranges), as an IFF
// picture holds them before its BODY. `with_header`: for a file of another format, which
// keeps the texts and DPI its own way, what the BMHD and CAMG would say instead (the
// aspect as our ASPT chunk, the display mode as CAMG), without the texts and DPI.
void put_iff_description(const Description& description, std::vector<uint8_t>& chunks,
                         bool with_header = false);
// The chunks put_iff_description writes, back into a description.
void describe_iff_chunks(std::span<const uint8_t> chunks, Description& description);

} // namespace orvi
