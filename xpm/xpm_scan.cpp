// The XPM string scanner: quoted strings outside comments. "/" "*" opens a comment and
// "*" "/" closes it, outside strings only, and no character serves in both (so "/*/"
// opens a comment and leaves it open); a string has no escapes. Pure: reads only the
// span it is given.
#include <cstring>

#include "xpm/xpm_rules.h"

namespace xpm {

bool StringScanner::next(std::span<const uint8_t>& string) {
    const size_t size = file_.size();
    const uint8_t* bytes = file_.data();
    while (position_ < size) {
        const uint8_t c = bytes[position_];
        if (!in_comment_ && previous_ == '/' && c == '*') {
            in_comment_ = true;
            previous_ = ' '; // this star cannot also start the closing "*/"
            ++position_;
            continue;
        }
        if (in_comment_ && previous_ == '*' && c == '/') {
            in_comment_ = false;
            previous_ = ' '; // this slash cannot also start a new "/*"
            ++position_;
            continue;
        }
        if (!in_comment_ && c == '"') {
            const size_t start = position_ + 1;
            const void* close =
                start < size ? std::memchr(bytes + start, '"', size - start) : nullptr;
            if (close == nullptr) {
                position_ = size; // an open string ends with the file and is not handled
                return false;
            }
            const auto end = static_cast<size_t>(static_cast<const uint8_t*>(close) - bytes);
            string = file_.subspan(start, end - start);
            position_ = end + 1;
            previous_ = '"';
            return true;
        }
        previous_ = c;
        ++position_;
    }
    return false;
}

} // namespace xpm
