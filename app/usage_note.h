// The usage note written to readme.txt: Russian text in code page 1251, CR LF line
// ends, made at build time from app/usage_note.txt.
#ifndef VANTOREL_APP_USAGE_NOTE_H
#define VANTOREL_APP_USAGE_NOTE_H

#include <stdint.h>

extern const unsigned char usage_note[];
extern const int32_t usage_note_length;

#endif
