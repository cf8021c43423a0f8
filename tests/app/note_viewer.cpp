// note_viewer: stands in for the text viewer while the end-to-end tests register it for
// ".txt". Started as `note_viewer DOCUMENT RECORD`, it writes the document's path, its
// current folder and its own process id as three lines of UTF-8 into RECORD, whole or
// not at all, and ends.
#include <stdio.h>
#include <string>
#include <windows.h>

static std::string utf8(const wchar_t* text) {
    char buffer[4 * MAX_PATH];
    return WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, 0, 0) ? buffer : "";
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 3) return 100;
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::wstring record = arguments[2], partial = record + L".partial";
    FILE* f = _wfopen(partial.c_str(), L"wb");
    if (!f) return 2;
    fprintf(f, "%s\r\n%s\r\n%lu\r\n", utf8(arguments[1]).c_str(), utf8(folder).c_str(), GetCurrentProcessId());
    fclose(f);
    return MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
