// The released program as a Windows user gets it: Vantorel.exe from the unpacked
// dist zip (VANTOREL_EXE), not the build tree's, doing one good and one refused run,
// and the version the file's properties show.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "tests/support/batch_folder.h"

TEST(Zip, TheUnpackedProgramResizesAndRefuses) {
    RunFolder folder;
    ASSERT_FALSE(folder.path().empty());
    folder.put_picture("a.jpg", 200, 100);
    folder.put_picture("b.jpg", 64, 48);
    Outcome done = folder.run({ { "320", ANSWER_ENTER }, { "240", ANSWER_ENTER } });
    expect_normal_end(done, HIGH_BEEP);
    EXPECT_EQ(done.shown, Lines({ "Success!: 2 images in processed!" }));
    ASSERT_EQ(folder.files_in("result"), Lines({ "a.jpg", "b.jpg" }));
    for (const char* name : { "a.jpg", "b.jpg" }) {
        std::string data = read_whole_file(folder.file(std::string("result\\") + name));
        JpegReading reading = {};
        ASSERT_TRUE(jpeg_read(Bytes(data.begin(), data.end()), &reading)) << name;
        EXPECT_EQ(reading.width, 320) << name;
        EXPECT_EQ(reading.height, 240) << name;
    }

    RunFolder other;
    other.put_picture("a.jpg", 200, 100);
    Outcome refused = other.run({ { nullptr, ANSWER_ESCAPE } });
    expect_normal_end(refused, LOW_BEEP);
    EXPECT_EQ(refused.shown, Lines());
    EXPECT_EQ(other.files_in("result"), Lines());
}

TEST(Zip, TheFilesPropertiesNameTheProgramItsVersionAndAuthors) {
    std::string path = built_program();
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), 0));
    ASSERT_FALSE(info.empty()) << "no version resource";
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, (DWORD)info.size(), info.data()));
    VS_FIXEDFILEINFO* fixed = 0;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void**)&fixed, &length));
    EXPECT_EQ(std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
                  "." + std::to_string(HIWORD(fixed->dwFileVersionLS)),
              VANTOREL_VERSION);
    EXPECT_EQ(fixed->dwFileType, (DWORD)VFT_APP);
    std::pair<const char*, std::string> fields[] = {
        { "ProductName", "Vantorel" },
        { "FileDescription", "Vantorel batch JPEG resizer" },
        { "FileVersion", VANTOREL_VERSION },
        { "ProductVersion", VANTOREL_VERSION },
        { "LegalCopyright", "Copyright (c) 2026 the Vantorel authors" },
        { "OriginalFilename", "Vantorel.exe" },
    };
    for (const auto& field : fields) {
        const char* value = 0;
        std::string key = std::string("\\StringFileInfo\\040904B0\\") + field.first;
        VerQueryValueA(info.data(), key.c_str(), (void**)&value, &length);
        EXPECT_EQ(std::string(value ? value : "(none)"), field.second) << field.first;
    }
}
