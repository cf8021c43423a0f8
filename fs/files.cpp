// File objects: CreateFileA, a write buffer of object_heap, WriteFile. There is no
// read operation, so a file leaves read mode at its first buffered write for good.
#include "fs/files.h"

#include <string.h>

#include "runtime/memory.h"
#include "runtime/registry.h"

enum { FILE_GROWTH = 16, FILE_BUFFER_DEFAULT = 4096 };

int32_t file_buffer_size = FILE_BUFFER_DEFAULT;

static ObjectRegistry* file_registry;

void file_library_init(void) {
    if (!file_registry) file_registry = registry_new(sizeof(FileObject), FILE_GROWTH, file_close);
}

struct OpenRequest {
    DWORD access;
    DWORD sharing;
    DWORD creation;
    bool truncate_retry;  // when creating fails, empty the existing file write-only
    bool append;
    bool unbuffered;
};

// The request for a file_open mode; false for a mode that has no meaning.
static bool open_request(int32_t mode, int32_t flags, OpenRequest* request) {
    memset(request, 0, sizeof *request);
    DWORD share_read = (flags & FILE_SHARE_FOR_READING) ? FILE_SHARE_READ : 0;
    switch (mode) {
    case FILE_OPEN_READ:
        request->access = GENERIC_READ;
        request->sharing = share_read;
        request->creation = OPEN_EXISTING;
        break;
    case FILE_OPEN_READ_WRITE:
        request->access = GENERIC_READ | GENERIC_WRITE;
        request->sharing = (flags & FILE_SHARE_FOR_WRITING) ? FILE_SHARE_READ | FILE_SHARE_WRITE
                                                             : share_read;
        request->creation = OPEN_ALWAYS;
        request->append = (flags & FILE_APPEND) != 0;
        break;
    case FILE_OPEN_CREATE:
        request->access = GENERIC_READ | GENERIC_WRITE;
        request->sharing = share_read | ((flags & FILE_SHARE_FOR_WRITING) ? FILE_SHARE_WRITE : 0);
        request->creation = CREATE_ALWAYS;
        request->truncate_retry = true;
        break;
    default:
        return false;
    }
    request->unbuffered = (flags & FILE_UNBUFFERED) != 0;
    return true;
}

static HANDLE open_handle(const char* name, const OpenRequest* request) {
    HANDLE handle = CreateFileA(name, request->access, request->sharing, 0, request->creation,
                                FILE_ATTRIBUTE_NORMAL, 0);
    if (handle == INVALID_HANDLE_VALUE && request->truncate_retry)
        handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, 0, TRUNCATE_EXISTING, 0, 0);
    return handle == INVALID_HANDLE_VALUE ? 0 : handle;
}

// SetFilePointerEx, so that positions beyond 4 GiB work as well.
static void move_position(HANDLE handle, int64_t distance, DWORD origin) {
    LARGE_INTEGER move;
    move.QuadPart = distance;
    SetFilePointerEx(handle, move, 0, origin);
}

static int32_t file_start(int32_t number, const char* name, const OpenRequest* request) {
    if (!file_registry) return 0;
    // An automatic number the registry cannot supply opens nothing.
    FileObject* file = (FileObject*)registry_allocate(file_registry, number);
    if (!file) return 0;
    int32_t identity = number == REGISTRY_AUTOMATIC ? registry_identity(file) : number;
    HANDLE handle = open_handle(name, request);
    if (!handle) {
        registry_free(file_registry, identity);
        return 0;
    }
    if (request->append) move_position(handle, 0, FILE_END);

    uint8_t* buffer = 0;
    if (!request->unbuffered && file_buffer_size > 0)
        buffer = (uint8_t*)HeapAlloc(object_heap, 0, (SIZE_T)file_buffer_size);
    file->handle = handle;
    file->buffer = buffer;
    file->buffer_size = buffer ? file_buffer_size : 0;
    file->room = 0;
    file->mode = FILE_MODE_READ;
    return number == REGISTRY_AUTOMATIC ? identity : (int32_t)(intptr_t)handle;
}

int32_t file_create(int32_t number, const char* name) {
    OpenRequest request;
    open_request(FILE_OPEN_CREATE, FILE_SHARE_FOR_READING, &request);
    return file_start(number, name, &request);
}

int32_t file_open(int32_t number, const char* name, int32_t mode, int32_t flags) {
    OpenRequest request;
    if (!open_request(mode, flags, &request)) return 0;
    return file_start(number, name, &request);
}

static int32_t system_write(HANDLE handle, const void* data, int32_t length) {
    DWORD written = 0;
    if (!WriteFile(handle, data, (DWORD)length, &written, 0)) return 0;
    return (int32_t)written;
}

static int32_t pending_bytes(const FileObject* file) {
    return file->mode == FILE_MODE_WRITE ? file->buffer_size - file->room : 0;
}

int32_t file_flush_buffer(FileObject* file) {
    if (!file) return 0;
    int32_t pending = pending_bytes(file);
    if (pending <= 0) return 0;
    int32_t written = system_write(file->handle, file->buffer, pending);
    if (written < 0 || written > pending) written = 0;
    // What the system did not take stays pending, at the front of the buffer.
    memmove(file->buffer, file->buffer + written, (size_t)(pending - written));
    file->room = file->buffer_size - (pending - written);
    return written;
}

// Single stores for the common small sizes, a copy for the rest.
static void buffer_put(uint8_t* destination, const void* data, int32_t length) {
    switch (length) {
    case 1: memcpy(destination, data, 1); break;
    case 2: memcpy(destination, data, 2); break;
    case 4: memcpy(destination, data, 4); break;
    default: memcpy(destination, data, (size_t)length); break;
    }
}

static int32_t buffered_write(FileObject* file, const void* data, int32_t length) {
    if (file->mode == FILE_MODE_READ) {
        // Read-ahead goes back to the file before writing starts.
        if (file->room > 0) move_position(file->handle, -(int64_t)file->room, FILE_CURRENT);
        file->mode = FILE_MODE_WRITE;
        file->room = file->buffer_size;
    }
    if (length < file->room) {
        buffer_put(file->buffer + (file->buffer_size - file->room), data, length);
        file->room -= length;
        return length;
    }
    file_flush_buffer(file);
    // Data the system refused are still pending; nothing new is taken behind them.
    if (pending_bytes(file) > 0) return 0;
    if (length >= file->buffer_size) return system_write(file->handle, data, length);
    buffer_put(file->buffer, data, length);
    file->room = file->buffer_size - length;
    return length;
}

int32_t file_write_data(int32_t number, const void* data, int32_t length) {
    if (!data || length <= 0 || !file_registry) return 0;
    FileObject* file = (FileObject*)registry_get(file_registry, number);
    if (!file) return 0;
    if (!file->buffer) return system_write(file->handle, data, length);
    return buffered_write(file, data, length);
}

int32_t file_close(int32_t number) {
    if (!file_registry) return 0;
    if (number == REGISTRY_AUTOMATIC) {
        registry_release_all(file_registry);
        return 1;
    }
    FileObject* file = (FileObject*)registry_get(file_registry, number);
    if (!file) return 0;
    int32_t result = 1;
    if (file->buffer) {
        file_flush_buffer(file);
        if (pending_bytes(file) > 0) result = 0;
        HeapFree(object_heap, 0, file->buffer);
    }
    if (!CloseHandle(file->handle)) result = 0;
    registry_free(file_registry, number);
    return result;
}

void file_release_all(void) {
    if (file_registry) registry_release_all(file_registry);
}
