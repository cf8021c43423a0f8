// The memory destination of the JPEG encoder.
#include "codecs/jpeg/jpeg_memory_dest.h"

#include <jerror.h>

#include "runtime/memory.h"

static void memory_start(j_compress_ptr cinfo) {
    JpegMemoryDestination* dest = (JpegMemoryDestination*)cinfo->dest;
    dest->manager.next_output_byte = dest->block;
    dest->manager.free_in_buffer = dest->block_size;
}

// The whole block is full: double it and go on behind what was written.
static boolean memory_grow(j_compress_ptr cinfo) {
    JpegMemoryDestination* dest = (JpegMemoryDestination*)cinfo->dest;
    uint32_t used = dest->block_size;
    if (used > 0x3FFFFFFF) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    uint8_t* grown = (uint8_t*)memory_realloc(dest->block, (int32_t)(used * 2));
    if (!grown) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->block = grown;
    dest->block_size = used * 2;
    dest->manager.next_output_byte = grown + used;
    dest->manager.free_in_buffer = used;
    return TRUE;
}

static void memory_end(j_compress_ptr cinfo) {
    JpegMemoryDestination* dest = (JpegMemoryDestination*)cinfo->dest;
    dest->produced = dest->block_size - (uint32_t)dest->manager.free_in_buffer;
    if (dest->report) *dest->report = dest->produced;
}

void jpeg_memory_dest(j_compress_ptr cinfo, JpegMemoryDestination* dest, uint8_t* block,
                      uint32_t block_size, uint32_t* report) {
    dest->manager.init_destination = memory_start;
    dest->manager.empty_output_buffer = memory_grow;
    dest->manager.term_destination = memory_end;
    dest->block = block;
    dest->block_size = block_size;
    dest->produced = 0;
    dest->report = report;
    cinfo->dest = &dest->manager;
}
