// Heap exhaustion of the picture path under Windows: the driver's calls on one picture
// (image_load of a JPEG file, or of a BMP file under a .jpg name, image_resize, image_save
// as JPEG or as 8- or 24-bit BMP, image_free; an icon only loaded and freed) run once
// whole, then again for every k up to the number of allocations the whole run made, with
// the k-th allocation failing, or every one from the k-th on. The allocations are
// numbered across the heap calls of the program's own code (HeapAlloc and HeapReAlloc on
// any heap), the C heap (libjpeg's) and its DIB sections. Every run must give back every
// heap block and GDI object, report each failure as 0 and leave no file behind a failed
// save, or succeed with exactly the whole run's file.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <string>

#include "codecs/jpeg/jpeg.h"
#include "image/codec.h"
#include "image/image.h"
#include "image/resize.h"
#include "runtime/memory.h"
#include "tests/support/c_heap_faults.h"
#include "tests/support/heap_faults.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/pictures.h"
#include "tests/support/temp_folder.h"
#include "tests/support/win_heap_hooks.h"

namespace {

// GDI objects of the process. Where GetGuiResources is not implemented (Wine), each
// handle index is asked for its object's type: there an index alone names a live object.
int32_t gdi_objects(void) {
    SetLastError(0);
    DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return (int32_t)count;
    int32_t live = 0;
    for (UINT_PTR index = 1; index <= 0xFFFF; index++)
        if (GetObjectType((HGDIOBJ)index)) live++;
    return live;
}

// What a run may not keep: blocks by the heap calls' count and by walking the runtime's
// heaps, C heap blocks, GDI objects.
struct Held {
    int32_t heap_blocks, walked_blocks, c_blocks, gdi;
};

Held held_now(void) {
    return Held{win_heap_live_blocks(), heap_live_blocks(), c_heap_live_blocks(), gdi_objects()};
}

// A photograph-like JPEG: colours changing across and down.
Bytes gradient_jpeg(int32_t width, int32_t height, bool progressive) {
    TestPicture picture = test_picture_gradient(width, height);
    JpegMake make{width, height, 3, JCS_RGB, JCS_YCbCr, 90, {}};
    make.progressive = progressive;
    for (uint32_t pixel : picture.pixels)
        for (int shift : {16, 8, 0}) make.samples.push_back((uint8_t)(pixel >> shift));
    return jpeg_make(make);
}

// A DIB section of the program's own code, numbered among the allocations.
HBITMAP(WINAPI* real_create_dib)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
HBITMAP WINAPI create_dib_numbered(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                   HANDLE section, DWORD offset) {
    return c_heap_faults_refuse() ? 0 : real_create_dib(dc, info, usage, bits, section, offset);
}

struct PathCase {
    const char* what;
    const char* photo;
    int32_t number, width, height;  // width 0: an icon, only loaded and freed
    uint32_t format;
    int32_t depth;
};

struct PathRun {
    int32_t loaded;   // image_load's result
    HBITMAP resized;  // image_resize's, when loaded
    int32_t saved;    // image_save's, when loaded
    int32_t freed;    // image_free's, when loaded
    int32_t asked;    // allocations asked for by the four calls
    Held before, after;
    bool file_left;   // a file at the target afterwards
    Bytes file;
};

// The driver's calls on one picture under the case's image number (-1: a new automatic
// one, whose record each run makes), allocations numbered first to first + count - 1
// failing. The block image_load keeps for reading files is given back before and after,
// so that each run makes it. With `spares`, the library holds what it keeps for speed
// (a large DIB section, a file block too small for the picture, so the numbering stays
// that of the run without), and it is given back after. Nothing of the test's own is
// allocated between the counts.
PathRun run_path(const PathCase& c, const std::string& source, const std::string& target,
                 int32_t first, int32_t count, const std::string& spares = "") {
    PathRun run = {};
    image_load_release();
    run.before = held_now();
    if (!spares.empty()) {
        dib_section_release(image_create_dib(512, 512, 24));
        image_load(-1, spares.c_str());
    }
    c_heap_faults_arm(first, count);
    run.loaded = image_load(c.number, source.c_str());
    if (run.loaded) {
        const int32_t number = c.number == -1 ? run.loaded : c.number;
        if (c.width) {
            run.resized = image_resize(number, c.width, c.height);
            run.saved = image_save_ex(number, target.c_str(), c.format, 7, c.depth);
        }
        run.freed = image_free(number);
    }
    run.asked = c_heap_faults_disarm();
    dib_spares_drop();
    image_load_release();
    run.after = held_now();
    run.file_left = GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (run.file_left) {
        FILE* file = fopen(target.c_str(), "rb");
        for (int c; file && (c = fgetc(file)) != EOF;) run.file.push_back((uint8_t)c);
        if (file) fclose(file);
        DeleteFileA(target.c_str());
    }
    return run;
}

void expect_held(const Held& before, const Held& after, const std::string& what) {
    EXPECT_EQ(after.heap_blocks, before.heap_blocks) << what << ": heap blocks";
    EXPECT_EQ(after.walked_blocks, before.walked_blocks) << what << ": blocks of the runtime's heaps";
    EXPECT_EQ(after.c_blocks, before.c_blocks) << what << ": C heap blocks";
    EXPECT_EQ(after.gdi, before.gdi) << what << ": GDI objects";
}

}  // namespace

// The checks below see what they are meant to see: the hooks count the runtime's heap
// calls, and the GDI count a bitmap of the library.
TEST(PicturePathExhaustion, TheCountsSeeBlocksAndBitmaps) {
    ASSERT_TRUE(win_heap_hooks_install(c_heap_faults_refuse));
    // The first bitmap may make what the system keeps once made.
    dib_section_release(image_create_dib(8, 8, 24));
    Held before = held_now();
    void* block = memory_alloc(64, 0);
    void* c_block = malloc(64);
    HBITMAP bitmap = image_create_dib(8, 8, 24);
    ASSERT_NE(block, nullptr);
    ASSERT_NE(c_block, nullptr);
    ASSERT_NE(bitmap, nullptr);
    Held during = held_now();
    EXPECT_EQ(during.heap_blocks, before.heap_blocks + 1);
    EXPECT_EQ(during.walked_blocks, before.walked_blocks + 1);
    EXPECT_EQ(during.c_blocks, before.c_blocks + 1);
    EXPECT_EQ(during.gdi, before.gdi + 1);
    // Refused calls of both kinds fail, numbered as one.
    c_heap_faults_arm(2, 2);
    void* granted = memory_alloc(64, 0);
    void* refused_c = malloc(64);
    void* refused = memory_alloc(64, 0);
    EXPECT_EQ(c_heap_faults_disarm(), 3);
    EXPECT_NE(granted, nullptr);
    EXPECT_EQ(refused_c, nullptr);
    EXPECT_EQ(refused, nullptr);
    memory_free(granted);
    free(c_block);
    memory_free(block);
    dib_section_release(bitmap);
    Held after = held_now();
    expect_held(before, after, "blocks and a bitmap given back");
}

TEST(PicturePathExhaustion, LoadResizeSaveFailsCleanly) {
    ASSERT_TRUE(win_heap_hooks_install(c_heap_faults_refuse));
    ASSERT_TRUE(hook_import((BYTE*)GetModuleHandleA(0), "gdi32.dll", "CreateDIBSection",
                            (void*)create_dib_numbered, (void**)&real_create_dib));
    jpeg_decoder_register();
    jpeg_encoder_register();
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    ASSERT_TRUE(folder.write("photo.jpg", gradient_jpeg(56, 40, false)));
    ASSERT_TRUE(folder.write("progressive.jpg", gradient_jpeg(56, 40, true)));
    // Files named .jpg that are BMP files: the library's own reader takes them, and one
    // with alpha goes through the resampler and is flattened for the encoder.
    ASSERT_TRUE(folder.write("bmp24.jpg", test_bmp_file({test_picture_gradient(56, 40), 24, {}})));
    ASSERT_TRUE(folder.write("bmp32.jpg",
                             test_bmp_file({test_picture_gradient(56, 40, 128), 32, {}})));
    ASSERT_TRUE(folder.write("bmp8.jpg", test_bmp_file({test_picture_indices(56, 40, 200), 8,
                                                        test_palette(200)})));
    ASSERT_TRUE(folder.write("icon.jpg", test_icon_file({{test_picture_gradient(32, 32), 24, {}}})));
    ASSERT_TRUE(folder.write("tiny.bin", Bytes{'x', 'y'}));
    const std::string target = folder.file("result.jpg"), spares = folder.file("tiny.bin");

    const uint32_t JPEG = IMAGE_FORMAT_JPEG;
    const PathCase cases[] = {
        {"reduced to 40x30", "photo.jpg", 0, 40, 30, JPEG, -1},
        {"enlarged to 90x64", "photo.jpg", 0, 90, 64, JPEG, -1},
        {"progressive, reduced to 40x30", "progressive.jpg", 0, 40, 30, JPEG, -1},
        {"under a new number, reduced to 40x30", "photo.jpg", -1, 40, 30, JPEG, -1},
        {"24-bit BMP named .jpg, reduced to 40x30", "bmp24.jpg", 0, 40, 30, JPEG, -1},
        {"32-bit BMP with alpha named .jpg, reduced to 40x30", "bmp32.jpg", 0, 40, 30, JPEG, -1},
        {"8-bit BMP named .jpg, enlarged to 90x64", "bmp8.jpg", 0, 90, 64, JPEG, -1},
        {"reduced to 40x30, saved as 8-bit BMP", "photo.jpg", 0, 40, 30, IMAGE_FORMAT_BMP, 8},
        // Flattened from 32 bits row by row.
        {"32-bit BMP named .jpg, reduced, saved as 24-bit BMP", "bmp32.jpg", 0, 40, 30,
         IMAGE_FORMAT_BMP, 24},
        {"icon named .jpg, loaded", "icon.jpg", 0, 0, 0, JPEG, -1},
    };
    for (const auto& c : cases) {
        const std::string source = folder.file(c.photo);
        // The first run may make what the system keeps once made (stock GDI objects).
        run_path(c, source, target, 1, 0);
        run_path(c, source, target, 1, 0, spares);
        int32_t heap_calls = win_heap_calls();
        PathRun whole = run_path(c, source, target, 1, 0);
        heap_calls = win_heap_calls() - heap_calls;
        expect_held(whole.before, whole.after, std::string(c.what) + ", whole");
        ASSERT_NE(whole.loaded, 0) << c.what;
        TestPicture written;
        int32_t bits = 0;
        JpegReading reading;
        if (!c.width) {
            EXPECT_EQ(whole.freed, 1) << c.what;
        } else if (c.format == JPEG) {
            ASSERT_TRUE(jpeg_read(whole.file, &reading)) << c.what;
            EXPECT_EQ(reading.width, c.width);
            EXPECT_EQ(reading.height, c.height);
        } else {
            std::vector<uint32_t> palette;
            ASSERT_TRUE(test_bmp_read(whole.file, &written, &bits, &palette)) << c.what;
            EXPECT_EQ(std::to_string(bits) + " bits, " + std::to_string(written.width) + "x" +
                      std::to_string(written.height), std::to_string(c.depth) + " bits, 40x30");
        }
        printf("picture path %s: %d allocations (%d by heap calls, %d by the C heap and DIB sections)\n",
               c.what, whole.asked, heap_calls, whole.asked - heap_calls);
        RecordProperty(std::string("allocations ") + c.what, whole.asked);

        for (int32_t count : {1, INT32_MAX}) {
            int32_t failed_runs = 0, failed_with_spares = 0, last_k = 0;
            sweep_failing_allocations([&](int32_t k) {
                std::string what = std::string(c.what) + ", allocations failing from " +
                                   std::to_string(k) + (count == 1 ? " once" : " on");
                // Each run gives back all it took, reports each failure and leaves the
                // whole run's file or none; with spares held, it is done wherever the
                // same run without them is.
                auto outcome = [&](const PathRun& run, const std::string& what) {
                    expect_held(run.before, run.after, what);
                    // A resize that failed leaves the number without an image: nothing to
                    // save or free.
                    if (run.loaded) {
                        EXPECT_EQ(run.freed, run.resized || !c.width ? 1 : 0) << what;
                        if (!run.resized) {
                            EXPECT_EQ(run.saved, 0) << what;
                        }
                    }
                    if (run.saved) {
                        EXPECT_TRUE(run.file_left && run.file == whole.file) << what;
                    } else {
                        EXPECT_FALSE(run.file_left) << what << ": a failed save left a file";
                    }
                    return run.loaded && (!c.width || (run.resized && run.saved));
                };
                PathRun run = run_path(c, source, target, k, count);
                PathRun held = run_path(c, source, target, k, count, spares);
                bool done = outcome(run, what);
                bool done_with_spares = outcome(held, what + ", spares held");
                if (run.asked < k) {
                    EXPECT_TRUE(done) << what << ": failed with every allocation granted";
                }
                if (done) {
                    EXPECT_TRUE(done_with_spares) << what << ": failed with spares held";
                }
                failed_runs += !done;
                failed_with_spares += !done_with_spares;
                last_k = k;
                return run.asked > held.asked ? run.asked : held.asked;
            });
            printf("  failing %s: k = 1 to %d, %d runs failed, %d with spares held\n",
                   count == 1 ? "once" : "from k on", last_k, failed_runs, failed_with_spares);
            EXPECT_GT(failed_runs, 0) << c.what;
            // A single failure is absorbed wherever the library kept something to give
            // back; only an automatic number's record (the registry's) is not.
            if (count == 1) {
                EXPECT_EQ(failed_with_spares, c.number == -1 ? 1 : 0) << c.what;
            }
            // Every allocation the whole run made was failed once.
            EXPECT_GT(last_k, whole.asked) << c.what;
        }
    }
}
