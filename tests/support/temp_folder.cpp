// Temporary folders for tests.
#include "tests/support/temp_folder.h"

#include <windows.h>

TempFolder::TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned sequence;
    for (;;) {
        char name[MAX_PATH + 64];
        wsprintfA(name, "%svantorel-%lu-%u", base, GetCurrentProcessId(), sequence++);
        if (CreateDirectoryA(name, 0)) {
            folder_ = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

TempFolder::~TempFolder() {
    if (folder_.empty()) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder_ + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder_.c_str());
}

std::string TempFolder::path(const char* name) const {
    return folder_ + "\\" + name;
}

bool TempFolder::exists(const char* name) const {
    return GetFileAttributesA(path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> TempFolder::read(const char* name) const {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileA(path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    DWORD size = GetFileSize(file, 0), read = 0;
    bytes.resize(size);
    if (size && (!ReadFile(file, bytes.data(), size, &read, 0) || read != size)) bytes.clear();
    CloseHandle(file);
    return bytes;
}

bool TempFolder::write(const char* name, const std::vector<uint8_t>& bytes) const {
    HANDLE file = CreateFileA(path(name).c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, 0) && written == bytes.size();
    CloseHandle(file);
    return ok;
}
