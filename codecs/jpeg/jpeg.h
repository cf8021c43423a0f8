// The JPEG plug-ins of the image library, on libjpeg: a decoder that writes straight
// into the library's 24-bit bottom-up DIB, and an encoder of 24-bit pixels.
#ifndef VANTOREL_CODECS_JPEG_H
#define VANTOREL_CODECS_JPEG_H

#include <stdint.h>

#include "image/codec.h"

// Register once with the image library; later calls do nothing.
void jpeg_decoder_register(void);
void jpeg_encoder_register(void);

// The plug-in records themselves.
extern const ImageDecoder jpeg_decoder;
extern const ImageEncoder jpeg_encoder;

// Deletes the temporary file that a save into folder (a path ending in its separator)
// writes first, as a run ended while writing leaves it.
void jpeg_encoder_remove_temporary(const char* folder);

// Bytes produced by the latest encoding into memory (a null file name).
extern uint32_t jpeg_encoded_size;

#endif
