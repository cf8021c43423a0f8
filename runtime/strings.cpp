// The string engine: the temporary buffer, string variables and their reading.
// A variable's block for a text of n bytes is n + 5 bytes; the temporary buffer keeps a
// margin of 4 bytes past its capacity and grows with 16 KiB of headroom at a time.
#include "runtime/strings.h"

#include <string.h>

#include "runtime/memory.h"

HANDLE string_heap;
char* string_buffer;
int32_t string_end;
int32_t string_capacity;

const char str_empty[1] = {0};

enum { STRING_FIRST_BLOCK = 16, STRING_HEADROOM = 0x4000, STRING_BLOCK_EXTRA = 5 };

void str_engine_init(void) {
    string_heap = HeapCreate(0, 4096, 0);
    string_end = 0;
    string_capacity = STRING_FIRST_BLOCK;
    string_buffer = (char*)HeapAlloc(string_heap, 0, STRING_FIRST_BLOCK);
}

void str_engine_free(void) {
    if (string_heap) {
        HeapFree(string_heap, 0, string_buffer);
        HeapDestroy(string_heap);
    }
    string_heap = 0;
    string_buffer = 0;
    string_end = 0;
    string_capacity = 0;
}

char* str_reserve(int32_t n, int32_t pos) {
    int64_t wanted = (int64_t)string_end + n;
    if (wanted >= (int64_t)string_capacity - 4) {
        int64_t capacity = wanted + STRING_HEADROOM;
        // The offsets are 32-bit: a buffer beyond them cannot be addressed.
        if (capacity + STRING_BLOCK_EXTRA > INT32_MAX) memory_exhausted();
        char* grown = (char*)HeapReAlloc(string_heap, 0, string_buffer,
                                         (SIZE_T)(capacity + STRING_BLOCK_EXTRA));
        if (!grown) memory_exhausted();
        string_buffer = grown;
        string_capacity = (int32_t)capacity;
    }
    string_end = pos + n;
    return string_buffer + pos;
}

int32_t str_give_back(int32_t n) {
    string_end -= n;
    return string_end;
}

int32_t str_cut_at(int32_t pos) {
    string_end = pos;
    string_buffer[pos] = 0;
    return pos;
}

void str_concat(const char* text) {
    if (!text) {
        string_buffer[string_end] = 0;
        return;
    }
    int32_t n = str_length(text);
    // A text inside the buffer would be left behind if the reservation moved it.
    int32_t inside = str_buffer_offset(text);
    char* destination = str_reserve(n, string_end);
    if (inside) text = str_buffer_pointer(inside);
    memmove(destination, text, (size_t)n);
    destination[n] = 0;
}

int32_t str_buffer_offset(const char* pointer) {
    if (!string_buffer || pointer < string_buffer || pointer > string_buffer + string_end)
        return 0;
    return (int32_t)(pointer - string_buffer) + 1;
}

char* str_buffer_pointer(int32_t offset) {
    return string_buffer + offset - 1;
}

int32_t str_assign(char** variable, int32_t start) {
    int32_t n = string_end - start;
    SIZE_T size = (SIZE_T)n + STRING_BLOCK_EXTRA;
    char* block = *variable ? (char*)HeapReAlloc(string_heap, 0, *variable, size)
                            : (char*)HeapAlloc(string_heap, 0, size);
    if (block) {
        memcpy(block, string_buffer + start, (size_t)n);
        block[n] = 0;
    } else {
        // The old text must never be read as the new one: the variable is left empty.
        str_release(*variable);
    }
    *variable = block;
    string_end = start;
    return start;
}

void str_duplicate(char** variable, const char* text) {
    if (!text) return;
    int32_t n = str_length(text);
    char* block = (char*)HeapAlloc(string_heap, 0, (SIZE_T)n + STRING_BLOCK_EXTRA);
    // The caller has released the old block: never leave it pointing there.
    *variable = block;
    if (block) memcpy(block, text, (size_t)n + 1);
}

void str_release(char* block) {
    if (block) HeapFree(string_heap, 0, block);
}

int32_t str_length(const char* text) {
    return text ? (int32_t)strlen(text) : 0;
}

int32_t str_compare(const char* a, const char* b) {
    if (!a) a = str_empty;
    if (!b) b = str_empty;
    return strcmp(a, b) == 0 ? 1 : 0;
}
