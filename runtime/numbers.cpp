// Number and text conversion. int_to_str reserves its worst case once and gives the
// rest back, so it grows the temporary buffer at most once; values within 32 bits take
// a path without 64-bit division.
#include "runtime/numbers.h"

#include <string.h>

#include "runtime/strings.h"

static int digit_value(unsigned char c, int base) {
    int value;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (base == 16 && c >= 'A' && c <= 'F') value = c - 'A' + 10;
    else if (base == 16 && c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else return -1;
    return value < base ? value : -1;
}

int64_t str_to_int(const char* text) {
    if (!text) return 0;
    const unsigned char* p = (const unsigned char*)text;
    while (*p == ' ' || *p == '\t') p++;
    int negative = 0;
    if (*p == '-') { negative = 1; p++; }
    else if (*p == '+') p++;
    int base = 10;
    if (*p == '$') { base = 16; p++; }
    else if (*p == '%') { base = 2; p++; }
    // Unsigned arithmetic: overflow wraps without undefined behaviour.
    uint64_t value = 0;
    for (int digit; (digit = digit_value(*p, base)) >= 0; p++)
        value = value * (uint64_t)base + (uint64_t)digit;
    if (negative) value = 0 - value;
    return (int64_t)value;
}

// Digits, most significant first, and a terminator; returns how many digits. A 32-bit
// value divides in 32 bits.
template <typename Unsigned>
static int32_t write_digits(char* destination, Unsigned value) {
    char reversed[20];
    int32_t count = 0;
    do {
        reversed[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    for (int32_t i = 0; i < count; i++) destination[i] = reversed[count - 1 - i];
    destination[count] = 0;
    return count;
}

char* u64_to_decimal(char* destination, uint64_t value) {
    write_digits(destination, value);
    return destination;
}

void int_to_str(int64_t value, int32_t pos) {
    if (value >= INT32_MIN && value <= INT32_MAX) {
        enum { SHORT_ROOM = 32 };
        char* out = str_reserve(SHORT_ROOM, pos);
        int32_t length = 0;
        int32_t v = (int32_t)value;
        if (v < 0) out[length++] = '-';
        // The magnitude of -2147483648 fits only unsigned.
        uint32_t magnitude = v < 0 ? 0u - (uint32_t)v : (uint32_t)v;
        length += write_digits(out + length, magnitude);
        str_give_back(SHORT_ROOM - length);
        return;
    }
    enum { LONG_ROOM = 64 };
    char* out = str_reserve(LONG_ROOM, pos);
    int32_t length = 0;
    uint64_t magnitude = (uint64_t)value;
    if (value < 0) {
        out[length++] = '-';
        magnitude = 0 - magnitude;
    }
    u64_to_decimal(out + length, magnitude);
    length += (int32_t)strlen(out + length);
    str_give_back(LONG_ROOM - length);
}
