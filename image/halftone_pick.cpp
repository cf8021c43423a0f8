// Which compile of the stretch runs: the SSE2 one stops with an illegal instruction on a
// processor without SSE2. Asked on every stretch: a function-local static would need
// the C++ runtime's guard, which the program does not link.
#include "image/halftone.h"
#include "image/halftone_paths.h"
#include "runtime/platform.h"

int32_t halftone_stretch(const uint8_t* source, int32_t source_width, int32_t source_height,
                         int32_t source_stride, uint8_t* target, int32_t target_width,
                         int32_t target_height, int32_t target_stride, int32_t channels) {
    HalftoneStretch* const stretch =
        IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) ? halftone_stretch_sse2
                                                                    : halftone_stretch_plain;
    return stretch(source, source_width, source_height, source_stride, target, target_width,
                   target_height, target_stride, channels);
}
