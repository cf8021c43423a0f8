// What the built Vantorel.exe carries: a 32-bit Intel PE image for the GUI subsystem,
// the application manifest (version 6.0 of the common controls, the UTF-8 code page, no
// elevation and so no redirected writes, the Windows versions it knows), no icon.
#include <gtest/gtest.h>
#include <windows.h>

#include <ctype.h>

#include <string>

#include "tests/support/temp_folder.h"

TEST(Executable, IsA32BitGuiImage) {
    std::string image = read_whole_file(VANTOREL_EXE);
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)image.data();
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_LT((size_t)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32), image.size());
    const IMAGE_NT_HEADERS32* nt = (const IMAGE_NT_HEADERS32*)(image.data() + dos->e_lfanew);
    EXPECT_EQ(nt->Signature, (DWORD)IMAGE_NT_SIGNATURE);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

static BOOL CALLBACK count_type(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
    ++*(int*)count;
    return TRUE;
}

TEST(Executable, CarriesItsManifestAndNoIcon) {
    HMODULE module = LoadLibraryExA(VANTOREL_EXE, 0, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char* text = (const char*)LockResource(LoadResource(module, found));
    std::string manifest(text, SizeofResource(module, found));
    const char* elements[] = {
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        ">UTF-8</activeCodePage>",
        "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">",
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
        "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">",
        "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>",  // Vista
        "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",  // 7
        "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",  // 8
        "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",  // 8.1
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",  // 10 and 11
    };
    // Attributes are compared with the spaces between them folded to one.
    std::string folded;
    for (char c : manifest) {
        if (!isspace((unsigned char)c)) folded += c;
        else if (!folded.empty() && folded.back() != ' ') folded += ' ';
    }
    for (const char* element : elements) EXPECT_NE(folded.find(element), std::string::npos) << element;

    int icons = 0;
    EnumResourceNamesA(module, MAKEINTRESOURCEA(14), count_type, (LONG_PTR)&icons);  // RT_GROUP_ICON
    EnumResourceNamesA(module, MAKEINTRESOURCEA(3), count_type, (LONG_PTR)&icons);   // RT_ICON
    EXPECT_EQ(icons, 0);
    FreeLibrary(module);
}
