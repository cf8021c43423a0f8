// Times the batch's picture path per photograph, inside one process: loading (reading
// and decoding), the halftone stretch to the target size, and saving as JPEG at quality
// 70; each as a ratio to the decode of the same picture. Prints a Markdown table.
//   picture_path_bench WIDTH HEIGHT ROUNDS FILE...
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "codecs/jpeg/jpeg.h"
#include "image/alpha.h"
#include "image/codec.h"
#include "image/image.h"
#include "image/resize.h"
#include "runtime/memory.h"
#include "runtime/strings.h"

static double seconds_now(void) {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

static const char* base_name(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: picture_path_bench WIDTH HEIGHT ROUNDS FILE...\n");
        return 2;
    }
    int32_t width = atoi(argv[1]), height = atoi(argv[2]), rounds = atoi(argv[3]);
    object_heap = HeapCreate(0, 4096, 0);
    str_engine_init();
    alpha_support_init();
    memory_heap = HeapCreate(0, 4096, 0);
    image_codecs_init();
    image_library_init();
    jpeg_decoder_register();
    jpeg_encoder_register();

    char output[MAX_PATH];
    GetTempPathA(MAX_PATH, output);
    lstrcatA(output, "vantorel-bench-out.jpg");

    printf("| picture | size | load s | stretch s | save s | stretch / load | save / load | whole / load |\n");
    printf("|---|---|---|---|---|---|---|---|\n");
    double sum_load = 0, sum_stretch = 0, sum_save = 0;
    int pictures = 0;
    for (int i = 4; i < argc; i++) {
        double load = 1e9, stretch = 1e9, save = 1e9;
        int32_t source_width = 0, source_height = 0;
        for (int r = 0; r < rounds; r++) {
            double t0 = seconds_now();
            if (!image_load(0, argv[i])) break;
            double t1 = seconds_now();
            ImageObject* image = (ImageObject*)registry_get(image_registry, 0);
            source_width = image->width;
            source_height = image->height;
            image_resize(0, width, height);
            double t2 = seconds_now();
            image_save(0, output, IMAGE_FORMAT_JPEG);
            double t3 = seconds_now();
            image_free(0);
            if (t1 - t0 < load) load = t1 - t0;
            if (t2 - t1 < stretch) stretch = t2 - t1;
            if (t3 - t2 < save) save = t3 - t2;
        }
        if (load > 1e8) {
            printf("| %s | not loaded | | | | | | |\n", base_name(argv[i]));
            continue;
        }
        printf("| %s | %dx%d | %.4f | %.4f | %.4f | %.3f | %.3f | %.3f |\n", base_name(argv[i]),
               source_width, source_height, load, stretch, save, stretch / load, save / load,
               (load + stretch + save) / load);
        sum_load += load;
        sum_stretch += stretch;
        sum_save += save;
        pictures++;
    }
    if (pictures)
        printf("| all (%d) | to %dx%d | %.4f | %.4f | %.4f | %.3f | %.3f | %.3f |\n", pictures, width,
               height, sum_load / pictures, sum_stretch / pictures, sum_save / pictures,
               sum_stretch / sum_load, sum_save / sum_load, (sum_load + sum_stretch + sum_save) / sum_load);
    DeleteFileA(output);
    fflush(stdout);
    return 0;
}
