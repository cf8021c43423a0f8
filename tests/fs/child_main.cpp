// fs_child: the program the launch tests start. Each mode does one thing a test can see:
//   exit N           ends with exit code N
//   echo TEXT        writes TEXT to standard output
//   error TEXT       writes TEXT to standard error
//   upper            copies standard input to standard output in capitals
//   report FILE      writes its command line, folder, show state and whether it has
//                    a standard output to FILE
//   filename         writes what program_filename gives to standard output
//   pending FILE     runs the runtime's start-up with a driver that leaves buffered
//                    data in an open file; shutdown must write them
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "app/driver.h"
#include "fs/files.h"
#include "fs/progpath.h"
#include "runtime/memory.h"
#include "runtime/startup.h"
#include "runtime/strings.h"

static const char* pending_name;

void driver_clear(void) {}

void driver_main(void) {
    if (file_create(0, pending_name)) file_write_data(0, "left pending", 12);
}

static void write_all(HANDLE handle, const char* text, DWORD length) {
    DWORD written;
    while (length && WriteFile(handle, text, length, &written, 0) && written) {
        text += written;
        length -= written;
    }
}

static int upper(void) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    char chunk[512];
    DWORD n;
    while (ReadFile(in, chunk, sizeof chunk, &n, 0) && n) {
        for (DWORD i = 0; i < n; i++) chunk[i] = (char)toupper((unsigned char)chunk[i]);
        write_all(out, chunk, n);
    }
    return 0;
}

static int report(const char* name) {
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    // A detached program gets no standard handles of its parent.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    FILE* f = fopen(name, "wb");
    if (!f) return 2;
    fprintf(f, "%s\n%s\n%d\n%d\n%d\n", GetCommandLineA(), folder,
            (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0, startup.wShowWindow,
            output != 0 && output != INVALID_HANDLE_VALUE ? 1 : 0);
    fclose(f);
    return 0;
}

static int filename(void) {
    object_heap = HeapCreate(0, 4096, 0);
    str_engine_init();
    program_filename(0);
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), string_buffer, (DWORD)string_end);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) return 100;
    const char* mode = argv[1];
    const char* argument = argc > 2 ? argv[2] : "";
    if (!strcmp(mode, "exit")) return atoi(argument);
    if (!strcmp(mode, "echo")) write_all(GetStdHandle(STD_OUTPUT_HANDLE), argument, strlen(argument));
    else if (!strcmp(mode, "error")) write_all(GetStdHandle(STD_ERROR_HANDLE), argument, strlen(argument));
    else if (!strcmp(mode, "upper")) return upper();
    else if (!strcmp(mode, "report")) return report(argument);
    else if (!strcmp(mode, "filename")) return filename();
    else if (!strcmp(mode, "pending")) {
        pending_name = argument;
        runtime_start();
    } else return 101;
    return 0;
}
