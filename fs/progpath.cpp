// program_filename and path_part over the string engine's temporary buffer.
#include "fs/progpath.h"

#include <string.h>
#include <windows.h>

#include "fs/pathbuf.h"
#include "runtime/strings.h"

void program_filename(int32_t pos) {
    char* destination = str_reserve(PATH_BYTES, pos);
    // One byte more than the bytes kept: a longer path comes back cut, never
    // unterminated past the reservation.
    DWORD length = GetModuleFileNameA(GetModuleHandleA(0), destination, PATH_BYTES + 1);
    if (length > PATH_BYTES) length = PATH_BYTES;
    if (length >= 4 && memcmp(destination, "\\\\?\\", 4) == 0) {
        memmove(destination, destination + 4, length - 4);
        length -= 4;
    }
    length = (DWORD)path_bytes(destination, (int32_t)length);
    str_give_back(PATH_BYTES - (int32_t)length);
    destination[length] = 0;
}

void path_part(const char* path, int32_t pos) {
    if (!path) {
        str_cut_at(pos);
        return;
    }
    int32_t start = path[0] == '"' ? 1 : 0;
    int32_t end = 0;
    // By character: a double-byte character's trail byte may be a '\\' or a '|'.
    const uint32_t code_page = GetACP();
    for (int32_t i = 0; path[i] && path[i] != '|'; i += path_char_bytes(path + i, code_page))
        if (path[i] == '\\' || path[i] == '/') end = i + 1;
    int32_t length = end > start ? end - start : 0;

    // Reserving may move the buffer the path lies in.
    int32_t inside = str_buffer_offset(path);
    char* destination = str_reserve(length, pos);
    if (inside) path = str_buffer_pointer(inside);
    memmove(destination, path + start, (size_t)length);
    destination[length] = 0;
}
