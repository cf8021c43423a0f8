// Directory scans over FindFirstFileA and FindNextFileA. The search text is built in
// object_heap at exactly the size it needs, so a long folder name is never cut.
#include "fs/dirscan.h"

#include <string.h>

#include "fs/pathbuf.h"
#include "runtime/memory.h"
#include "runtime/registry.h"
#include "runtime/strings.h"

enum { SCAN_GROWTH = 16 };

static ObjectRegistry* scan_registry;

// directory, a backslash unless it is empty or already ends in one, then pattern. The end
// is found by character: a double-byte character's trail byte 0x5C is no backslash.
static char* search_text_new(const char* directory, const char* pattern) {
    size_t directory_length = strlen(directory);
    size_t pattern_length = strlen(pattern);
    char* text = (char*)HeapAlloc(object_heap, 0, directory_length + pattern_length + 2);
    if (!text) return 0;
    char* end = text;
    memcpy(end, directory, directory_length);
    end += directory_length;
    const int32_t length = (int32_t)directory_length;
    if (length && path_trimmed(directory, length, "\\") == length) *end++ = '\\';
    memcpy(end, pattern, pattern_length + 1);
    return text;
}

int32_t dir_examine(int32_t number, const char* directory, const char* pattern) {
    if (!scan_registry) scan_registry = registry_new(sizeof(DirectoryScan), SCAN_GROWTH, dir_finish);
    if (!scan_registry) return 0;
    if (!directory) directory = str_empty;
    if (!pattern || !pattern[0]) pattern = "*.*";

    char* text = search_text_new(directory, pattern);
    if (!text) return 0;
    int32_t result = 0;
    DirectoryScan* scan = (DirectoryScan*)registry_allocate(scan_registry, number);
    if (scan) {
        int32_t identity = registry_identity(scan);
        HANDLE search = FindFirstFileA(text, &scan->find_data);
        if (search != INVALID_HANDLE_VALUE) {
            scan->search_handle = search;
            scan->advance = 0;
            result = identity;
        } else if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            // The folder is there and nothing matches: a live scan without entries.
            memset(&scan->find_data, 0, sizeof scan->find_data);
            scan->search_handle = INVALID_HANDLE_VALUE;
            scan->advance = 1;
            result = identity;
        } else {
            registry_free(scan_registry, number == REGISTRY_AUTOMATIC ? identity : number);
        }
    }
    HeapFree(object_heap, 0, text);
    return result;
}

static DirectoryScan* live_scan(int32_t number) {
    return scan_registry ? (DirectoryScan*)registry_get(scan_registry, number) : 0;
}

int32_t dir_next_entry(int32_t number) {
    DirectoryScan* scan = live_scan(number);
    if (!scan || scan->search_handle == INVALID_HANDLE_VALUE) return 0;
    if (!scan->advance) {
        scan->advance = 1;
        return 1;
    }
    return FindNextFileA(scan->search_handle, &scan->find_data) ? 1 : 0;
}

int32_t dir_entry_type(int32_t number) {
    DirectoryScan* scan = live_scan(number);
    if (!scan) return DIR_ENTRY_NONE;
    return (scan->find_data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? DIR_ENTRY_DIRECTORY
                                                                           : DIR_ENTRY_FILE;
}

void dir_entry_name(int32_t number, int32_t pos) {
    DirectoryScan* scan = live_scan(number);
    if (!scan) {
        str_cut_at(pos);
        return;
    }
    // The name field is fixed in size; never read past it.
    const char* name = scan->find_data.cFileName;
    int32_t length = (int32_t)strnlen(name, sizeof scan->find_data.cFileName);
    char* destination = str_reserve(length, pos);
    memcpy(destination, name, (size_t)length);
    destination[length] = 0;
}

int32_t dir_finish(int32_t number) {
    DirectoryScan* scan = live_scan(number);
    if (!scan) return 0;
    if (scan->search_handle != INVALID_HANDLE_VALUE) FindClose(scan->search_handle);
    registry_free(scan_registry, number);
    return 1;
}

void dir_release_all(void) {
    if (scan_registry) registry_release_all(scan_registry);
}
