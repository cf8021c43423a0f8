// note_viewer: stands in for the text viewer while the end-to-end tests register it for
// ".txt". Started as `note_viewer DOCUMENT RECORD`, it writes the document's path and
// its own process id as two lines into RECORD, whole or not at all, and ends.
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 3) return 100;
    std::string record = __argv[2];
    std::string partial = record + ".partial";
    FILE* f = fopen(partial.c_str(), "wb");
    if (!f) return 2;
    fprintf(f, "%s\n%lu\n", __argv[1], GetCurrentProcessId());
    fclose(f);
    return MoveFileExA(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
