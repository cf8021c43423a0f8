// Numbered open files with a write buffer. Small writes collect in the buffer and reach
// the system when it would overflow, when a write is at least as large as the whole
// buffer, and when the file is closed (file_release_all closes what is left at
// shutdown). -1 asks for an automatic number; the identity returned is the file's
// number from then on, and file_close (-1) closes every file.
#ifndef VANTOREL_FS_FILES_H
#define VANTOREL_FS_FILES_H

#include <stdint.h>
#include <windows.h>

struct FileObject {
    HANDLE handle;
    uint8_t* buffer;      // object_heap; null for an unbuffered file
    int32_t buffer_size;
    int32_t room;         // write mode: bytes still free; read mode: read-ahead bytes
    int32_t mode;         // FILE_MODE_READ until the first buffered write
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FileObject) == 20, "FileObject keeps its 32-bit layout");
#endif

enum { FILE_MODE_WRITE = 0, FILE_MODE_READ = 1 };

// file_open modes and flags.
enum { FILE_OPEN_READ = 1, FILE_OPEN_READ_WRITE = 2, FILE_OPEN_CREATE = 3 };
enum {
    FILE_SHARE_FOR_READING = 1,
    FILE_SHARE_FOR_WRITING = 2,  // read and write mode: shared for reading and writing
    FILE_UNBUFFERED = 4,
    FILE_APPEND = 8,  // read and write mode: start at the end
};

// The size of the buffer every newly opened file gets; 0 opens files unbuffered.
extern int32_t file_buffer_size;

void file_library_init(void);

// Creates or empties the file. The system handle for a table number, the record's
// identity for -1; 0 when the file cannot be made (the number is then closed).
int32_t file_create(int32_t number, const char* name);
// As file_create with a mode (FILE_OPEN_*) and flags; 0 for any other mode.
int32_t file_open(int32_t number, const char* name, int32_t mode, int32_t flags);
// The number of bytes accepted; 0 for no data, a length of 0 or less, a number without
// an open file, or a write the system refused.
int32_t file_write_data(int32_t number, const void* data, int32_t length);
// Passes the pending bytes to the system; the number it wrote, 0 when nothing was
// pending. Bytes the system did not take stay pending.
int32_t file_flush_buffer(FileObject* file);
// Closes the file, writing its pending data; -1 closes every file. 0 when the number
// names no open file or pending data could not be written.
int32_t file_close(int32_t number);
// Closes every open file, pending data written.
void file_release_all(void);

#endif
