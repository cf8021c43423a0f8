// Counting and walking a path's characters in the active code page.
#include "fs/pathbuf.h"

#include <windows.h>

int32_t path_char_bytes(const char* text, uint32_t code_page) {
    return code_page != CP_UTF8 && text[1] && IsDBCSLeadByteEx(code_page, (BYTE)text[0]) ? 2 : 1;
}

int32_t path_trimmed(const char* text, int32_t length, const char* trailing) {
    const uint32_t code_page = GetACP();
    int32_t kept = 0;
    for (int32_t i = 0, size; i < length && text[i]; i += size) {
        size = path_char_bytes(text + i, code_page);
        if (!strchr(trailing, text[i])) kept = i + size;
    }
    return kept;
}

int32_t path_bytes(const char* text, int32_t length) {
    if (!text) return 0;
    const uint32_t code_page = GetACP();
    const bool utf8 = code_page == CP_UTF8;
    int32_t bytes = 0, chars = 0;
    while (bytes < length && text[bytes]) {
        const uint8_t lead = (uint8_t)text[bytes];
        int32_t size = 1, units = 1;
        if (utf8) {
            // Four bytes name a character beyond the basic plane: two UTF-16 units.
            if (lead >= 0xF0) size = 4, units = 2;
            else if (lead >= 0xE0) size = 3;
            else if (lead >= 0xC0) size = 2;
        } else if (IsDBCSLeadByteEx(code_page, lead)) {
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
