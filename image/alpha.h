// Alpha support: whether the system offers alpha blending (which decides the resize
// path of 32-bit pictures), and access to a bitmap's 32-bit pixels. Windows only; the
// flattening of pixels over white is in image/pixels.h.
#ifndef VANTOREL_IMAGE_ALPHA_H
#define VANTOREL_IMAGE_ALPHA_H

#include <stdint.h>
#include <windows.h>

// Start-up step: looks up the system's alpha-blending entry.
void alpha_support_init(void);
// Shutdown step: unloads the library the entry lives in.
void alpha_support_end(void);
// 1 when the bitmap carries per-pixel alpha and the system can blend it. Every 32-bit
// DIB section counts; a device bitmap only with some non-zero alpha byte.
int32_t image_has_alpha(HBITMAP bitmap);
// The bitmap's 32-bit pixels: its own memory for a DIB section (allocated 0), else a
// top-down copy from memory_heap that the caller frees with memory_free (allocated 1).
uint8_t* bitmap_get_bits32(HBITMAP bitmap, int32_t* allocated);

#endif
