// Times the batch's picture path inside one process, call by call as the driver's loop
// makes them: image_load, image_resize, image_save with "JPEG" at the default options
// (quality 70) and image_free. The files are processed in the order given, PASSES times
// over, as a batch goes through a folder. The first pass is the start of a batch; each
// file keeps its fastest later pass as the batch's steady state. Prints one line per file:
//   name  width  height  load  resize  save  free  whole  first-pass-whole
// (tab-separated, seconds), or "name <TAB> failed" when a call fails.
//   picture_path_bench WIDTH HEIGHT PASSES OUTPUT_FOLDER FILE...
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

enum { STEP_LOAD, STEP_RESIZE, STEP_SAVE, STEP_FREE, STEPS };

struct PassTimes {
    int32_t width, height;  // of the source picture
    double step[STEPS];
    double whole;
};

struct PictureTimes {
    PassTimes first;  // the first pass
    PassTimes best;   // the fastest later pass
    bool failed;
};

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

// One picture through the driver's four calls; false when the load or the save fails.
static bool run_picture(const char* input, const char* output, int32_t width, int32_t height,
                        PassTimes* pass) {
    double t[STEPS + 1];
    t[0] = seconds_now();
    if (!image_load(0, input)) return false;
    t[1] = seconds_now();
    ImageObject* image = (ImageObject*)registry_get(image_registry, 0);
    pass->width = image->width;
    pass->height = image->height;
    image_resize(0, width, height);
    t[2] = seconds_now();
    int32_t saved = image_save(0, output, IMAGE_FORMAT_JPEG);
    t[3] = seconds_now();
    image_free(0);
    t[4] = seconds_now();
    for (int s = 0; s < STEPS; s++) pass->step[s] = t[s + 1] - t[s];
    pass->whole = t[STEPS] - t[0];
    return saved != 0;
}

int main(int argc, char** argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: picture_path_bench WIDTH HEIGHT PASSES OUTPUT_FOLDER FILE...\n");
        return 2;
    }
    int32_t width = atoi(argv[1]), height = atoi(argv[2]), passes = atoi(argv[3]);
    const char* folder = argv[4];
    int files = argc - 5;
    // The runtime as start-up leaves it for the driver.
    object_heap = HeapCreate(0, 4096, 0);
    str_engine_init();
    alpha_support_init();
    memory_heap = HeapCreate(0, 4096, 0);
    image_codecs_init();
    image_library_init();
    jpeg_decoder_register();
    jpeg_encoder_register();

    PictureTimes* times = (PictureTimes*)calloc((size_t)files, sizeof(PictureTimes));
    if (!times) return 1;
    for (int pass = 0; pass < passes; pass++)
        for (int i = 0; i < files; i++) {
            if (times[i].failed) continue;
            char output[MAX_PATH];
            snprintf(output, sizeof output, "%s\\%s", folder, base_name(argv[5 + i]));
            PassTimes now;
            if (!run_picture(argv[5 + i], output, width, height, &now)) times[i].failed = true;
            else if (pass == 0) times[i].first = now;
            else if (pass == 1 || now.whole < times[i].best.whole) times[i].best = now;
        }
    for (int i = 0; i < files; i++) {
        const PictureTimes& p = times[i];
        if (p.failed || passes < 1) {
            printf("%s\tfailed\n", base_name(argv[5 + i]));
            continue;
        }
        const PassTimes& b = passes > 1 ? p.best : p.first;
        printf("%s\t%d\t%d\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\n", base_name(argv[5 + i]), b.width,
               b.height, b.step[STEP_LOAD], b.step[STEP_RESIZE], b.step[STEP_SAVE],
               b.step[STEP_FREE], b.whole, p.first.whole);
    }
    free(times);
    image_library_end();
    fflush(stdout);
    return 0;
}
