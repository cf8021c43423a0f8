// Conversions between 64-bit signed integers and text.
#ifndef VANTOREL_RUNTIME_NUMBERS_H
#define VANTOREL_RUNTIME_NUMBERS_H

#include <stdint.h>

// Forgiving reading: leading spaces and tabs, one sign, then decimal digits, "$" and
// hexadecimal digits, or "%" and binary digits; stops at the first other character.
// Never fails: no digit gives 0, overflow wraps modulo 2^64. Null gives 0.
int64_t str_to_int(const char* text);

// Writes value in decimal at offset pos of the temporary buffer; string_end ends up
// behind the digits, on their terminator.
void int_to_str(int64_t value, int32_t pos);

// Writes the digits of value and a terminator into destination (at least 21 bytes).
char* u64_to_decimal(char* destination, uint64_t value);

#endif
