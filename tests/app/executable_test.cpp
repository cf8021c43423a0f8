// What the built Vantorel.exe carries: a 32-bit Intel PE image for the GUI subsystem,
// the application manifest asking for version 6.0 of the common controls, no icon.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

static std::string read_file(const char* path) {
    std::string data;
    FILE* f = fopen(path, "rb");
    if (!f) return data;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, n);
    fclose(f);
    return data;
}

TEST(Executable, IsA32BitGuiImage) {
    std::string image = read_file(VANTOREL_EXE);
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

TEST(Executable, CarriesTheCommonControlsManifestAndNoIcon) {
    HMODULE module = LoadLibraryExA(VANTOREL_EXE, 0, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char* text = (const char*)LockResource(LoadResource(module, found));
    std::string manifest(text, SizeofResource(module, found));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);

    int icons = 0;
    EnumResourceNamesA(module, MAKEINTRESOURCEA(14), count_type, (LONG_PTR)&icons);  // RT_GROUP_ICON
    EnumResourceNamesA(module, MAKEINTRESOURCEA(3), count_type, (LONG_PTR)&icons);   // RT_ICON
    EXPECT_EQ(icons, 0);
    FreeLibrary(module);
}
