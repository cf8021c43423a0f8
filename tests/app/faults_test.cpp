// Vantorel.exe over folders that fight back: a result folder that cannot be made, a full
// disk, a picture locked, deleted under it, empty, or claiming impossible sizes. Every
// run must end normally, leave the pictures exactly as they were, write the good
// pictures, and leave no partial result where a save failed. Each case prints a row of
// the fault table: what was done, what the program showed, the files before and after.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/batch_folder.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/ui_automation.h"

namespace {

const int32_t SIDE = 64;
typedef std::map<std::string, Bytes> Files;

// Every plain file under the folder by its path inside it.
Files files_under(const std::string& folder) {
    Files files;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        if (!entry.is_regular_file()) continue;
        std::string name = std::filesystem::relative(entry.path(), folder).string();
        std::string data = read_whole_file(entry.path().string());
        files[name] = Bytes(data.begin(), data.end());
    }
    return files;
}

std::string listing(const Files& files) {
    std::string text;
    for (const auto& file : files)
        text += (text.empty() ? "" : ", ") + file.first + " (" + std::to_string(file.second.size()) + ")";
    return text.empty() ? "none" : text;
}

std::string observed(const Outcome& outcome) {
    std::string text = "exit " + (outcome.ended ? std::to_string(outcome.exit_code) : std::string("none"));
    for (const std::string& line : outcome.shown) text += "; \"" + line + "\"";
    for (const std::string& beep : outcome.beeps) text += "; beep " + beep;
    if (!outcome.trouble.empty()) text += "; " + outcome.trouble;
    return text;
}

void table_row(const char* fault, const Outcome& outcome, const Files& before, const Files& after) {
    printf("FAULT | %s | %s | before: %s | after: %s\n", fault, observed(outcome).c_str(),
           listing(before).c_str(), listing(after).c_str());
    fflush(stdout);
}

Bytes good_picture(int32_t width, int32_t height) {
    return jpeg_make(jpeg_bands(width, height, { { 200, 40, 40 }, { 40, 200, 40 } }, 95));
}

// A picture whose frame header claims another size; the data stays the small picture's.
Bytes claiming(int32_t width, int32_t height, bool progressive) {
    JpegMake make = jpeg_bands(16, 16, { { 90, 90, 200 } }, 90);
    make.progressive = progressive;
    Bytes data = jpeg_make(make);
    size_t frame = jpeg_marker_offset(data, progressive ? 0xC2 : 0xC0);
    if (!frame || frame + 9 > data.size()) {
        ADD_FAILURE() << "no frame header to change";
        return Bytes();
    }
    data[frame + 5] = (uint8_t)(height >> 8);
    data[frame + 6] = (uint8_t)height;
    data[frame + 7] = (uint8_t)(width >> 8);
    data[frame + 8] = (uint8_t)width;
    return data;
}

// The run's checks: a normal end with the count of every name found (a mend: the low
// beep and no message when not one result was written), every file that was there
// before byte for byte the same (but for those the case removed), and exactly the
// expected results, each a JPEG of the asked size.
void expect_survived(const Outcome& outcome, int found, const Files& before, const Files& after,
                     const Lines& removed, const Lines& results) {
    if (results.empty()) {
        expect_normal_end(outcome, LOW_BEEP);
        EXPECT_EQ(outcome.shown, Lines());
    } else {
        expect_normal_end(outcome, HIGH_BEEP);
        EXPECT_EQ(outcome.shown, Lines({ "Success!: " + std::to_string(found) + " images in processed!" }));
    }
    Lines written;
    for (const auto& file : after) {
        auto old = before.find(file.first);
        if (old == before.end()) {
            written.push_back(file.first);
            continue;
        }
        EXPECT_TRUE(old->second == file.second) << file.first << " changed";
    }
    for (const auto& file : before) {
        bool gone = !after.count(file.first);
        bool meant = std::find(removed.begin(), removed.end(), file.first) != removed.end();
        EXPECT_EQ(gone, meant) << file.first;
    }
    EXPECT_EQ(written, results) << "results left";
    for (const std::string& name : written) {
        JpegReading reading = {};
        const Bytes& data = after.at(name);
        EXPECT_TRUE(jpeg_read(data, &reading) && reading.width == SIDE && reading.height == SIDE)
            << name << " is not a whole " << SIDE << "x" << SIDE << " JPEG";
    }
}

bool write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
    return (bool)out;
}

// What an earlier run may have left on the small disk.
void clear_disk(const std::string& place) {
    for (const char* leftover : { "images", "result", "filler", "readme.txt" }) {
        std::error_code error;
        std::filesystem::remove_all(place + "\\" + leftover, error);
    }
}

const std::vector<DialogAnswer> ANSWERS = { { "64", ANSWER_ENTER }, { "64", ANSWER_ENTER } };

}  // namespace

// One bad picture b.jpg between two good ones, or a folder that cannot take results.
TEST(Faults, TheBatchSurvivesAndKeepsEveryPicture) {
    struct Case {
        const char* fault;
        bool with_bad;                             // b.jpg is there
        Bytes bad;
        bool lock_bad;                             // the test holds b.jpg open, unshared
        std::function<void(RunFolder&)> prepare;  // before the run
        Lines removed;
        Lines results;
    } cases[] = {
        { "result is a file", false, {}, false,
          [](RunFolder& folder) { folder.write("result", "not a folder"); }, {}, {} },
        { "picture locked by another process", true, good_picture(40, 30), true, nullptr, {},
          { "result\\a.jpg", "result\\c.jpg" } },
        { "picture deleted between the scan and its load", true, good_picture(40, 30), false,
          [](RunFolder& folder) {
              std::string picture = folder.file("images\\b.jpg");
              folder.seen = [picture](HWND) { DeleteFileA(picture.c_str()); };
          },
          { "images\\b.jpg" }, { "result\\a.jpg", "result\\c.jpg" } },
        { "zero-byte picture", true, Bytes(), false, nullptr, {}, { "result\\a.jpg", "result\\c.jpg" } },
        { "every picture damaged", true, Bytes(3000, 0x5A), false,
          [](RunFolder& folder) {
              folder.put("a.jpg", Bytes());
              folder.put("c.jpg", claiming(0, 0, false));
          },
          {}, {} },
        { "JPEG header of 0x0", true, claiming(0, 0, false), false, nullptr, {},
          { "result\\a.jpg", "result\\c.jpg" } },
        { "JPEG claiming 65535x65535", true, claiming(65535, 65535, false), false, nullptr, {},
          { "result\\a.jpg", "result\\c.jpg" } },
        { "progressive JPEG claiming 30000x30000, too large for memory", true,
          claiming(30000, 30000, true), false, nullptr, {}, { "result\\a.jpg", "result\\c.jpg" } },
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.fault);
        RunFolder folder;
        ASSERT_FALSE(folder.path().empty());
        folder.put("a.jpg", good_picture(80, 60));
        folder.put("c.jpg", good_picture(30, 50));
        if (c.with_bad) folder.put("b.jpg", c.bad);
        if (c.prepare) c.prepare(folder);
        Files before = files_under(folder.path());
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.lock_bad) {
            lock = CreateFileA(folder.file("images\\b.jpg").c_str(), GENERIC_READ | GENERIC_WRITE, 0, 0,
                               OPEN_EXISTING, 0, 0);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        }
        Outcome outcome = folder.run(ANSWERS);
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        Files after = files_under(folder.path());
        table_row(c.fault, outcome, before, after);
        expect_survived(outcome, c.with_bad ? 3 : 2, before, after, c.removed, c.results);
    }
}

// The results go to a 64 KB tmpfs that the test fills up; VANTOREL_FULL_DISK names it.
TEST(Faults, AFullDiskLeavesNoPartialResult) {
    const char* disk = getenv("VANTOREL_FULL_DISK");
    if (!disk || !std::filesystem::exists(std::string(disk) + "/mounted"))
        GTEST_SKIP() << "no small tmpfs to fill: it is mounted by scripts/faults-disk.sh, as root only";
    std::string place = program_windows_path(disk);
    clear_disk(place);
    RunFolder logs;
    CreateDirectoryA((place + "\\images").c_str(), 0);
    ASSERT_TRUE(write_file(place + "\\readme.txt", Bytes(KEPT_NOTE, KEPT_NOTE + strlen(KEPT_NOTE))));
    ASSERT_TRUE(write_file(place + "\\images\\a.jpg", good_picture(80, 60)));
    ASSERT_TRUE(write_file(place + "\\images\\c.jpg", good_picture(30, 50)));
    // Fill every byte left: write ever smaller pieces until not even one byte goes in.
    HANDLE filler = CreateFileA((place + "\\filler").c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    ASSERT_NE(filler, INVALID_HANDLE_VALUE);
    std::vector<char> piece(4096, 'f');
    for (DWORD size = 4096; size > 0; size /= 2) {
        DWORD written;
        while (WriteFile(filler, piece.data(), size, &written, 0) && written == size) {}
    }
    CloseHandle(filler);
    Files before = files_under(place);
    Outcome outcome = logs.run_in(place, ANSWERS, built_program());
    Files after = files_under(place);
    table_row("full disk (64 KB tmpfs filled up)", outcome, before, after);
    expect_survived(outcome, 2, before, after, {}, {});
    clear_disk(place);
}

// Killed while writing large results until a kill lands inside an encode: results stay whole.
TEST(Faults, AKilledRunLeavesNoPartialResult) {
    RunFolder folder;
    for (const char* name : { "a.jpg", "b.jpg", "c.jpg", "d.jpg" }) folder.put(name, good_picture(640, 480));
    int kills = 0, inside = 0;
    std::thread killer;
    JpegReading reading;
    folder.seen = [&](HWND dialog) {
        DWORD id = 0;
        // The moment is drawn here: each new thread's rand() starts from the same seed. It
        // falls after a result's temporary file appears, so that some kill lands in an encode.
        DWORD moment = (DWORD)rand() % 64;
        if (GetWindowThreadProcessId(dialog, &id) && ui_window_text(dialog) == "Height") killer = std::thread([&, moment](HANDLE process) {
            ui_wait_until([&] { return folder.exists("result\\~vantorel.tmp") || !WaitForSingleObject(process, 0); }, 6000);
            if (WaitForSingleObject(process, moment) && TerminateProcess(process, 9) && !WaitForSingleObject(process, 5000))
                kills++, inside += folder.exists("result\\~vantorel.tmp");
            CloseHandle(process);
        }, OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    };
    for (int run = 0; run < 20 && !inside && !HasFailure(); run++) {
        folder.run({ { "4000", ANSWER_ENTER }, { "4000", ANSWER_ENTER } });
        if (killer.joinable()) killer.join();
        for (const std::string& name : folder.files_in("result"))
            EXPECT_TRUE(name == "~vantorel.tmp" || jpeg_read(folder.read(("result\\" + name).c_str()), &reading)) << name;
    }
    printf("kills: %d, inside an encode: %d\n", kills, inside);
    EXPECT_EQ(inside, 1);
    folder.run({ { nullptr, ANSWER_ESCAPE } });
    EXPECT_FALSE(folder.exists("result\\~vantorel.tmp"));
}
