// String variables for tests: a text goes into a variable the way the runtime's callers
// put it there, built in the temporary buffer and moved in with str_assign.
#ifndef VANTOREL_TESTS_SUPPORT_STRING_VARS_H
#define VANTOREL_TESTS_SUPPORT_STRING_VARS_H

#include "runtime/strings.h"

inline void set_text(char** variable, const char* text) {
    int32_t start = string_end;
    str_concat(text);
    str_assign(variable, start);
}

#endif
