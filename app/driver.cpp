// The batch driver: the program's own sequence. It collects the "*.jpg" names of
// "images\", asks for the width and the height, writes every picture resized into
// "result\" as JPEG at quality 70, and ends with a high beep and a message; every
// refusal, a run that wrote no picture, and a batch stopped before its end (by its Stop
// button, the end of the session or a quit) end with a low beep and no message.
#include "app/driver.h"

#include <stdlib.h>
#include <windows.h>

#include "app/progress.h"
#include "app/usage_note.h"
#include "codecs/jpeg/jpeg.h"
#include "fs/dirscan.h"
#include "fs/files.h"
#include "fs/pathinfo.h"
#include "fs/process.h"
#include "fs/progpath.h"
#include "image/codec.h"
#include "image/image.h"
#include "image/resize.h"
#include "runtime/containers.h"
#include "runtime/ignore.h"
#include "runtime/numbers.h"
#include "runtime/strings.h"
#include "ui/requester_input.h"
#include "ui/requester_message.h"
#include "ui/window.h"

// One picture's bare file name.
struct PictureEntry {
    char* name;
};

static const FieldDescriptor picture_entry_fields[] = {offsetof(PictureEntry, name), FIELD_END};

static int32_t found_count;
static int32_t target_width;
static int32_t target_height;
static char* answer;
static ListVariables picture_names;

enum {
    LIST_OF_RECORDS = 8,
    LARGEST_SIDE = 8192,
    LONGEST_ANSWER = 4,
    MESSAGE_INFORMATION = 64,
    HIGH_BEEP = 3000,
    LOW_BEEP = 1000,
    BEEP_MS = 100,
};

void driver_clear(void) {
    found_count = 0;
    target_width = 0;
    target_height = 0;
    answer = 0;
    picture_names.list = 0;
    picture_names.current = 0;
}

// The usage note, written when readme.txt is missing or empty, then opened from the
// program's own folder.
static void write_usage_note(void) {
    if (file_size("readme.txt") >= 1 || !file_create(0, "readme.txt")) return;
    file_write_data(0, usage_note, usage_note_length);
    file_close(0);
    int32_t s = string_end;
    program_filename(string_end);
    path_part(string_buffer + s, s);
    str_concat("readme.txt");
    string_end++;
    program_run(string_buffer + s, str_empty, str_empty);
    string_end = s;
}

// Collects the names of the files that match "*.jpg" in "images\"; 0 when the folder
// cannot be scanned.
static int32_t collect_names(void) {
    // A run ended while writing left its temporary file in "result\"; none outlives this run.
    jpeg_encoder_remove_temporary("result\\");
    if (!dir_examine(0, "images\\", "*.jpg")) return 0;
    dir_create("result\\");
    found_count = 0;
    while (dir_next_entry(0)) {
        if (dir_entry_type(0) != 1) continue;
        PictureEntry* entry = (PictureEntry*)list_add_element(picture_names.list);
        if (!entry) continue;
        int32_t s = string_end;
        dir_entry_name(0, s);
        str_assign(&entry->name, s);
        found_count++;
    }
    dir_finish(0);
    return 1;
}

// Asks one side; 0 when the answer is empty, cancelled, too long or out of range.
static int32_t ask_side(const char* title, const char* prompt, int32_t* side) {
    int32_t s = string_end;
    input_requester(title, prompt, str_empty, s);
    str_assign(&answer, s);
    if (str_compare(answer, str_empty) || str_length(answer) > LONGEST_ANSWER) return 0;
    *side = (int32_t)str_to_int(answer);
    return *side >= 1 && *side <= LARGEST_SIDE;
}

// prefix + name in the temporary buffer, stepped past its terminator; returns its start.
static int32_t build_path(const char* prefix, const char* name) {
    int32_t s = string_end;
    str_concat(prefix);
    str_concat(name);
    string_end++;
    return s;
}

// Resizes one picture into "result\"; 1 when its result was written.
static int32_t process_picture(const char* name) {
    int32_t s = build_path("images\\", name);
    int32_t loaded = image_load(0, string_buffer + s);
    string_end = s;
    if (!loaded) return 0;
    image_resize(0, target_width, target_height);
    s = build_path("result\\", name);
    int32_t saved = image_save(0, string_buffer + s, IMAGE_FORMAT_JPEG);
    string_end = s;
    image_free(0);
    return saved > 0 ? 1 : 0;
}

// Processes every picture, showing the progress in window, until a stop is asked for;
// returns how many were written, or 0 when a stop left pictures undone: no success.
static int32_t process_pictures(HWND window) {
    int32_t done = 0;
    int32_t written = 0;
    progress_show(window, found_count);
    list_reset(picture_names.list);
    PictureEntry* entry;
    while ((entry = (PictureEntry*)list_next_element(picture_names.list)) && !progress_stop_asked()) {
        written += process_picture(entry->name);
        progress_step(++done);
    }
    progress_end();
    return entry ? 0 : written;
}

static void report_success(void) {
    Beep(HIGH_BEEP, BEEP_MS);
    int32_t s = string_end;
    int_to_str((int64_t)found_count, s);
    str_concat(" images in processed!");
    string_end++;
    message_requester("Success!", string_buffer + s, MESSAGE_INFORMATION);
    string_end = s;
}

void driver_main(void) {
    list_free(picture_names.list);
    list_new(sizeof(PictureEntry), &picture_names, picture_entry_fields, LIST_OF_RECORDS);
    jpeg_decoder_register();
    jpeg_encoder_register();
    HWND window = (HWND)window_open(0, IGNORE_VALUE, IGNORE_VALUE, 300, 200, "Vantorel", 1);
    if (!window) return;

    write_usage_note();
    // A run that wrote no picture at all is no success, however many were found.
    if (collect_names() && found_count > 0 &&
        ask_side("Width", "Enter of width", &target_width) &&
        ask_side("Height", "Enter of height", &target_height) && process_pictures(window) > 0) {
        report_success();
    } else {
        Beep(LOW_BEEP, BEEP_MS);
    }
    window_hide(0, 1);
    progress_pass_quit();
}
