// file_size and dir_create over the ANSI Win32 file calls.
#include "fs/pathinfo.h"

#include <windows.h>

#include "fs/pathbuf.h"

// A drive type above DRIVE_NO_ROOT_DIR means a drive is really there.
static int64_t drive_answer(const char* root) {
    return GetDriveTypeA(root) > DRIVE_NO_ROOT_DIR ? FILE_SIZE_DIRECTORY : FILE_SIZE_NOTHING;
}

int64_t file_size(const char* path) {
    if (!path || !path[0]) return FILE_SIZE_NOTHING;
    PathBuffer copy;
    int32_t length = path_copy(copy, path, PATH_BYTES);

    // "C:" and "C:\" name a drive root; "C:x" is deliberately not looked up.
    if ((length == 2 || length == 3) && copy[1] == ':') {
        if (length == 2) {
            copy[2] = '\\';
            copy[3] = 0;
        }
        return drive_answer(copy);
    }

    length = path_trimmed(copy, length, "\\");
    copy[length] = 0;

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(copy, &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return FILE_SIZE_DIRECTORY;
        return (int64_t)(((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow);
    }

    // Share roots and dot paths are not found by a search; ask for their attributes.
    bool network = copy[0] == '\\' && copy[1] == '\\';
    bool dots = copy[0] == '.' && copy[1] == '.';
    if (!network && !dots) return FILE_SIZE_NOTHING;
    DWORD attributes = GetFileAttributesA(copy);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_SIZE_DIRECTORY : FILE_SIZE_NOTHING;
    return drive_answer(copy);
}

int32_t dir_create(const char* path) {
    if (!path) return 0;
    PathBuffer copy;
    int32_t length = path_copy(copy, path, PATH_BYTES);
    length = path_trimmed(copy, length, " \\/");
    if (!length) return 0;
    copy[length] = 0;
    return CreateDirectoryA(copy, 0) ? 1 : 0;
}
