// demo_pilot: the demo's hands under Wine, with the end-to-end tests' automation.
//   run PROGRAM [WIDTH HEIGHT]
//       starts PROGRAM in the current folder and plays through its dialogs: with WIDTH
//       and HEIGHT it types them and presses Enter and dismisses the message; without,
//       a person answers and the pilot only watches. Before each dialog or message is
//       finished it writes "shot NAME X Y WIDTH HEIGHT" (the program's windows on the
//       screen) and waits for one line on standard input: the screenshot is taken.
//       Then it tells what was asked, shown and beeped; the exit code is 0 when the
//       program went through and ended by itself.
//   pictures FOLDER COUNT
//       writes COUNT colourful JPEG pictures into FOLDER, for when no photographs can
//       be had.
#include <ctype.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "tests/support/jpeg_maker.h"
#include "tests/support/program_run.h"
#include "tests/support/ui_automation.h"

namespace {

// The part of the screen that shows the program's windows, with a margin.
RECT program_area(DWORD process_id) {
    RECT r = { 0, 0, 0, 0 };
    for (HWND window : ui_process_windows(process_id)) {
        RECT rect;
        if (GetWindowRect(window, &rect)) UnionRect(&r, &r, &rect);
    }
    const LONG margin = 24;
    r.left = r.left > margin ? r.left - margin : 0;
    r.top = r.top > margin ? r.top - margin : 0;
    r.right = std::min(r.right + margin, (LONG)GetSystemMetrics(SM_CXSCREEN));
    r.bottom = std::min(r.bottom + margin, (LONG)GetSystemMetrics(SM_CYSCREEN));
    return r;
}

// "Success!" gives "success".
std::string shot_name(const std::string& title) {
    std::string name;
    for (char c : title)
        if (isalnum((unsigned char)c)) name += (char)tolower((unsigned char)c);
    return name.empty() ? "window" : name;
}

void take_shot(DWORD process_id, HWND window) {
    // Let the window finish painting before the screen is read.
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
    Sleep(400);
    RECT r = program_area(process_id);
    printf("shot %s %ld %ld %ld %ld\n", shot_name(ui_window_text(window)).c_str(), r.left, r.top,
           r.right - r.left, r.bottom - r.top);
    fflush(stdout);
    // Taken once a line comes, or when nobody is there to take it (the input ends).
    char line[64];
    fgets(line, sizeof line, stdin);
}

int run(const char* program, const char* width, const char* height) {
    char folder[MAX_PATH];
    GetCurrentDirectoryA(sizeof folder, folder);
    ProgramRun started;
    if (!started.start(program, folder, { PROGRAM_RELAY_TRACE })) {
        printf("could not start %s\n", program);
        return 1;
    }
    bool person = !width || !height;
    SessionPlan plan = { "InputRequester", {}, person, person ? 600000u : 120000u, {} };
    if (!person) plan.answers = { { width, ANSWER_ENTER }, { height, ANSWER_ENTER } };
    plan.seen = [&](HWND window) { take_shot(started.process_id(), window); };
    SessionRecord record = program_session(started, plan);
    for (const std::string& asked : record.asked) printf("asked  %s\n", asked.c_str());
    for (const std::string& shown : record.shown) printf("shown  %s\n", shown.c_str());
    // Wine's relay trace of the program's Beep calls.
    for (const std::string& beep : program_beeps(started.error_output())) {
        size_t space = beep.find(' ');
        printf("beep   %s Hz for %s ms\n", beep.substr(0, space).c_str(), beep.substr(space + 1).c_str());
    }
    if (!record.trouble.empty()) printf("trouble: %s\n", record.trouble.c_str());
    printf("exit code %lu\n", record.exit_code);
    return record.ended && record.trouble.empty() ? 0 : 1;
}

// Soft colour fields with rings, different for every index.
Bytes picture_samples(int32_t width, int32_t height, int index) {
    Bytes samples((size_t)width * height * 3);
    double cx = width * (0.3 + 0.15 * index), cy = height * (0.4 + 0.1 * index);
    uint8_t* p = samples.data();
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++) {
            double u = (double)x / width, v = (double)y / height;
            double ring = 0.5 + 0.5 * cos(hypot(x - cx, y - cy) / (18.0 + 6 * index));
            *p++ = (uint8_t)(255 * (0.6 * u + 0.4 * ring));
            *p++ = (uint8_t)(255 * (0.7 * v * (1 - u) + 0.3 * ring));
            *p++ = (uint8_t)(255 * (0.5 + 0.5 * sin(6.28 * (u + v) + index)) * (1 - 0.5 * ring));
        }
    return samples;
}

int pictures(const char* folder, int count) {
    CreateDirectoryA(folder, 0);
    for (int i = 0; i < count; i++) {
        JpegMake make = { 1600, 1200, 3, JCS_RGB, JCS_YCbCr, 90, picture_samples(1600, 1200, i) };
        Bytes data = jpeg_make(make);
        std::string path = std::string(folder) + "\\picture-" + std::to_string(i + 1) + ".jpg";
        FILE* f = data.empty() ? 0 : fopen(path.c_str(), "wb");
        if (!f) return 1;
        bool written = fwrite(data.data(), 1, data.size(), f) == data.size();
        if (fclose(f) != 0 || !written) return 1;
        printf("made %s (1600x1200)\n", path.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && !strcmp(argv[1], "run")) return run(argv[2], argc > 4 ? argv[3] : 0, argc > 4 ? argv[4] : 0);
    if (argc == 4 && !strcmp(argv[1], "pictures")) return pictures(argv[2], atoi(argv[3]));
    fprintf(stderr, "usage: demo_pilot run PROGRAM [WIDTH HEIGHT] | pictures FOLDER COUNT\n");
    return 2;
}
