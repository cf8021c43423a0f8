// The picture path without the window system, for profiling on the host: each file is
// read, decoded by the JPEG plug-in into a bottom-up 24-bit buffer laid out as the DIB
// would be, stretched by the halftone stretch to the size asked for and encoded by the
// JPEG plug-in into memory at the default quality, ROUNDS times over. These are the
// same calls image_load, image_resize and image_save make under the GDI calls. Prints
// each file's fastest round, stage by stage (tab-separated, seconds):
//   name  width  height  decode  stretch  encode
//   picture_path_profile WIDTH HEIGHT ROUNDS FILE...
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>

#include "codecs/jpeg/jpeg.h"
#include "image/halftone.h"
#include "image/pixels.h"
#include "runtime/memory.h"

static uint8_t* read_whole(const char* path, uint32_t* size) {
    FILE* file = fopen(path, "rb");
    if (!file) return 0;
    uint8_t* data = 0;
    if (fseek(file, 0, SEEK_END) == 0) {
        long length = ftell(file);
        if (length > 0 && fseek(file, 0, SEEK_SET) == 0) {
            data = (uint8_t*)malloc((size_t)length);
            if (data && fread(data, 1, (size_t)length, file) != (size_t)length) {
                free(data);
                data = 0;
            }
            *size = (uint32_t)length;
        }
    }
    fclose(file);
    return data;
}

enum { STAGE_DECODE, STAGE_STRETCH, STAGE_ENCODE, STAGES };

static double seconds_now(void) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The pixel buffers, kept from picture to picture as the image library keeps its large
// DIB sections: fresh memory would add the kernel's page faults to every decode.
struct Buffers {
    uint8_t* pixels;
    size_t pixels_size;
    uint8_t* target;
    size_t target_size;
};

static uint8_t* buffer_at_least(uint8_t** buffer, size_t* size, size_t wanted) {
    if (*size >= wanted) return *buffer;
    free(*buffer);
    *buffer = (uint8_t*)malloc(wanted);
    *size = *buffer ? wanted : 0;
    return *buffer;
}

// One picture through decode, stretch and encode; false when a step fails.
static bool run_picture(const uint8_t* data, uint32_t size, int32_t width, int32_t height,
                        Buffers* buffers, int32_t* source_width, int32_t* source_height,
                        double* stage) {
    double t[STAGES + 1];
    t[0] = seconds_now();
    ImageDecodeRequest request = {};
    request.data = data;
    request.size = size;
    request.from_memory = 1;
    if (!jpeg_decoder.check(&request)) return false;
    int32_t pitch = dib_row_bytes(request.width, 24);
    int32_t target_pitch = dib_row_bytes(width, 24);
    uint8_t* pixels = buffer_at_least(&buffers->pixels, &buffers->pixels_size,
                                      (size_t)pitch * (size_t)request.height);
    uint8_t* target = buffer_at_least(&buffers->target, &buffers->target_size,
                                      (size_t)target_pitch * (size_t)height);
    bool done = pixels && target && jpeg_decoder.decode(&request, pixels, pitch, IMAGE_BOTTOM_UP);
    jpeg_decoder.finish(&request);
    t[1] = seconds_now();
    done = done && halftone_stretch(pixels, request.width, request.height, pitch, target, width,
                                    height, target_pitch, 3);
    t[2] = seconds_now();
    if (done) {
        void* encoded = (void*)(intptr_t)jpeg_encoder.encode24(
            0, target, width, height, target_pitch, IMAGE_BOTTOM_UP, IMAGE_OPTIONS_DEFAULT, -1);
        done = encoded != 0;
        memory_free(encoded);
    }
    t[3] = seconds_now();
    *source_width = request.width;
    *source_height = request.height;
    for (int s = 0; s < STAGES; s++) stage[s] = t[s + 1] - t[s];
    return done;
}

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: picture_path_profile WIDTH HEIGHT ROUNDS FILE...\n");
        return 2;
    }
    int32_t width = atoi(argv[1]), height = atoi(argv[2]), rounds = atoi(argv[3]);
    object_heap = HeapCreate(0, 4096, 0);
    memory_heap = HeapCreate(0, 4096, 0);
    Buffers buffers = {};
    for (int i = 4; i < argc; i++) {
        uint32_t size = 0;
        uint8_t* data = read_whole(argv[i], &size);
        if (!data) {
            fprintf(stderr, "picture_path_profile: cannot read %s\n", argv[i]);
            return 1;
        }
        double best[STAGES] = {}, best_whole = 0;
        int32_t source_width = 0, source_height = 0;
        for (int32_t round = 0; round < rounds; round++) {
            double stage[STAGES];
            if (!run_picture(data, size, width, height, &buffers, &source_width, &source_height, stage)) {
                fprintf(stderr, "picture_path_profile: %s failed\n", argv[i]);
                return 1;
            }
            double whole = stage[STAGE_DECODE] + stage[STAGE_STRETCH] + stage[STAGE_ENCODE];
            if (round == 0 || whole < best_whole) {
                best_whole = whole;
                memcpy(best, stage, sizeof best);
            }
        }
        free(data);
        const char* name = strrchr(argv[i], '/');
        printf("%s\t%d\t%d\t%.6f\t%.6f\t%.6f\n", name ? name + 1 : argv[i], source_width,
               source_height, best[STAGE_DECODE], best[STAGE_STRETCH], best[STAGE_ENCODE]);
    }
    free(buffers.pixels);
    free(buffers.target);
    return 0;
}
