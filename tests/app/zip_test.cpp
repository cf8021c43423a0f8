// The released program as a Windows user gets it: Vantorel.exe from the unpacked
// dist zip (VANTOREL_EXE), not the build tree's, doing one good and one refused run.
#include <gtest/gtest.h>

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
