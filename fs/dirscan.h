// Numbered directory scans: the entries of a folder matching a pattern, one at a time,
// with their kind and long name. Scans live in a registry of their own, made by the
// first dir_examine; -1 asks for an automatic number, and the identity dir_examine
// returns is the scan's number from then on.
//
// Order of calls: dir_examine, then dir_next_entry before each entry (the first call
// yields the first entry), dir_entry_type and dir_entry_name for the entry last
// yielded, and dir_finish at the end. No entry is filtered out ("." and ".." included).
#ifndef VANTOREL_FS_DIRSCAN_H
#define VANTOREL_FS_DIRSCAN_H

#include <stdint.h>
#include <windows.h>

struct DirectoryScan {
    HANDLE search_handle;  // INVALID_HANDLE_VALUE for a scan that matched nothing
    int32_t advance;       // 0: the entry of the first search is still pending
    WIN32_FIND_DATAA find_data;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(DirectoryScan) == 328, "DirectoryScan keeps its 32-bit layout");
#endif

enum { DIR_ENTRY_NONE = 0, DIR_ENTRY_FILE = 1, DIR_ENTRY_DIRECTORY = 2 };

// Starts a scan of directory (null reads as empty: the current folder) for pattern
// (null or empty: "*.*"), finishing a scan the number still held. Returns the record's
// identity, or 0 when the folder cannot be searched (the number is then left without a
// scan) or memory is missing (the number is then untouched). A folder without matches
// is a scan without entries, not a failure.
int32_t dir_examine(int32_t number, const char* directory, const char* pattern);
// Non-zero when a (next) entry is available; 0 at the end or without a live scan.
int32_t dir_next_entry(int32_t number);
// DIR_ENTRY_FILE or DIR_ENTRY_DIRECTORY for the current entry; DIR_ENTRY_NONE without a
// live scan.
int32_t dir_entry_type(int32_t number);
// The current entry's long name, without folder, at pos of the temporary string
// buffer; the empty string without a live scan.
void dir_entry_name(int32_t number, int32_t pos);
// Ends the scan; 0 when the number names no live scan. The release callback of the
// scan registry.
int32_t dir_finish(int32_t number);
// Finishes every live scan; nothing when no scan was ever started.
void dir_release_all(void);

#endif
