// Counting a path's characters in the active code page.
#include "fs/pathbuf.h"

#include <windows.h>

int32_t path_bytes(const char* text, int32_t length) {
    if (!text) return 0;
    const bool utf8 = GetACP() == CP_UTF8;
    int32_t bytes = 0, chars = 0;
    while (bytes < length && text[bytes]) {
        const uint8_t lead = (uint8_t)text[bytes];
        int32_t size = 1, units = 1;
        if (utf8) {
            // Four bytes name a character beyond the basic plane: two UTF-16 units.
            if (lead >= 0xF0) size = 4, units = 2;
            else if (lead >= 0xE0) size = 3;
            else if (lead >= 0xC0) size = 2;
        } else if (IsDBCSLeadByte(lead)) {
            size = 2;
        }
        if (chars + units > PATH_CHARS || bytes + size > length) break;
        // A character cut short by the terminator ends there.
        int32_t k = 1;
        while (k < size && text[bytes + k]) k++;
        bytes += k;
        chars += units;
    }
    return bytes;
}
