// A libjpeg destination that writes into one block of memory_heap and grows the block
// when it fills, so an encoding never writes past its end.
#ifndef VANTOREL_CODECS_JPEG_MEMORY_DEST_H
#define VANTOREL_CODECS_JPEG_MEMORY_DEST_H

#include <stdint.h>
#include <stdio.h>

#include <jpeglib.h>

struct JpegMemoryDestination {
    jpeg_destination_mgr manager;
    uint8_t* block;       // memory_heap; may move when it grows
    uint32_t block_size;
    uint32_t produced;    // set when compression finishes
    uint32_t* report;     // where the produced count is reported too
};

// Installs the destination on cinfo; block is a memory_heap block of block_size bytes.
void jpeg_memory_dest(j_compress_ptr cinfo, JpegMemoryDestination* dest, uint8_t* block,
                      uint32_t block_size, uint32_t* report);

#endif
