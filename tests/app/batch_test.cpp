// Vantorel.exe as a person uses it: pictures put into images\ of a fresh folder, the
// program started there, its dialogs answered by typing and keys, its message read, its
// beeps heard in Wine's relay trace of its Beep calls, its results decoded; the usage
// note written and opened through a ".txt" association of the test's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/usage_note.h"
#include "tests/support/batch_folder.h"
#include "tests/support/jpeg_maker.h"
#include "tests/support/pictures.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"
#include "tests/support/ui_automation.h"
#include "tests/support/wait_scale.h"

namespace {

const DWORD WAIT_MS = BATCH_WAIT_MS;
const std::string WIDTH = "Width: Enter of width";
const std::string HEIGHT = "Height: Enter of height";
const char VIEWER_CLASS[] = "VantorelTest.NoteViewer";
const Bytes OLDER_RESULT = { 'o', 'l', 'd', 'e', 'r' };

// A program built beside this test binary.
std::string beside_us(const char* name) {
    char path[MAX_PATH];
    GetModuleFileNameA(0, path, sizeof path);
    strcpy(strrchr(path, '\\') + 1, name);
    return path;
}

std::string note_bytes() { return std::string((const char*)usage_note, (size_t)usage_note_length); }

bool decodes_at(const std::string& path, int32_t width, int32_t height, JpegReading* reading) {
    std::string data = read_whole_file(path);
    return jpeg_read(Bytes(data.begin(), data.end()), reading) && reading->width == width &&
           reading->height == height;
}

// The result is a JPEG of that size whose first two quantisation tables are quality 70's.
void expect_result(const RunFolder& folder, const std::string& name, int32_t width, int32_t height) {
    JpegReading reading = {};
    ASSERT_TRUE(decodes_at(folder.file("result\\" + name), width, height, &reading))
        << name << " is " << reading.width << "x" << reading.height;
    JpegTables quality_70 = jpeg_quality_tables(70);
    ASSERT_GE(reading.tables.size(), 2u) << name;
    EXPECT_EQ(reading.tables[0], quality_70[0]) << name;
    EXPECT_EQ(reading.tables[1], quality_70[1]) << name;
}

}  // namespace

TEST(Batch, ThreePicturesOfWhichOneIsDamagedGiveTwoResults) {
    RunFolder folder;
    ASSERT_FALSE(folder.path().empty());
    Bytes red = { 220, 60, 30 };
    folder.put("a.jpg", jpeg_make(jpeg_uniform(160, 120, JCS_RGB, JCS_YCbCr, red, 95)));
    folder.put("b.jpg", Bytes(3000, 0x5A));
    folder.put_picture("c.jpg", 50, 30);
    Outcome outcome = folder.run({ { "640", ANSWER_ENTER }, { "480", ANSWER_OK } });
    expect_normal_end(outcome, HIGH_BEEP);
    EXPECT_EQ(outcome.asked, Lines({ WIDTH, HEIGHT }));
    EXPECT_EQ(outcome.shown, Lines({ "Success!: 3 images in processed!" }));
    EXPECT_EQ(folder.files_in("result"), Lines({ "a.jpg", "c.jpg" }));
    expect_result(folder, "a.jpg", 640, 480);
    expect_result(folder, "c.jpg", 640, 480);
    // The result shows the picture: its middle keeps the colour.
    JpegReading a = {};
    ASSERT_TRUE(decodes_at(folder.file("result\\a.jpg"), 640, 480, &a));
    const uint8_t* middle = &a.samples[(240 * 640 + 320) * 3];
    for (int c = 0; c < 3; c++) EXPECT_NEAR(middle[c], red[c], 12) << "component " << c;
}

TEST(Batch, AcceptedAnswersGiveResultsOfThatSize) {
    struct Case {
        const char* width;
        const char* height;
        int32_t expected_width;
        int32_t expected_height;
        Lines names;  // sorted
        void (*fill)(const RunFolder& folder) = nullptr;  // instead of a picture per name
        Lines kept = {};  // skipped, their older results left as OLDER_RESULT
    } cases[] = {
        { "8192", "8", 8192, 8, { "p.jpg" } },
        { " 640", "8", 640, 8, { "p.jpg" } },
        // Names that no single-byte code page holds all of: the UTF-8 code page carries them.
        { "64px", "8", 64, 8, { "caf\u00e9.jpg", "two words.jpg", "\u0441\u043d\u0438\u043c\u043e\u043a.jpg",
                                "\u5199\u771f.jpg" } },
        { "$400", "8", 1024, 8, { "p.jpg" } },
        { "%101", "8", 5, 8, { "p.jpg" } },
        { "1", "8192", 1, 8192, { "p.jpg" } },
        // A BMP and a JPEG cut short are written, the missing part grey; a PNG is not.
        { "64", "48", 64, 48, { "b.jpg", "c.jpg" },
          [](const RunFolder& folder) {
              folder.put("b.jpg", test_bmp_file({ test_picture_filled(40, 30, 0x1E3CDC), 24, {} }));
              Bytes whole = jpeg_make(jpeg_uniform(160, 120, JCS_RGB, JCS_YCbCr, { 220, 60, 30 }, 95));
              size_t coded = jpeg_marker_offset(whole, 0xDA);  // halfway through the coded data
              folder.put("c.jpg", Bytes(whole.begin(), whole.begin() + (coded + whole.size()) / 2));
              folder.put("p.jpg", { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R' });
              folder.make_folder("result");
              folder.write("result\\p.jpg", OLDER_RESULT);
          },
          { "p.jpg" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("width \"") + c.width + "\", height \"" + c.height + "\"");
        RunFolder folder;
        if (c.fill) c.fill(folder);
        else for (const std::string& name : c.names) folder.put_picture(name, 16, 16);
        Outcome outcome = folder.run({ { c.width, ANSWER_ENTER }, { c.height, ANSWER_ENTER } });
        expect_normal_end(outcome, HIGH_BEEP);
        EXPECT_EQ(outcome.asked, Lines({ WIDTH, HEIGHT }));
        size_t found = c.names.size() + c.kept.size();
        EXPECT_EQ(outcome.shown, Lines({ "Success!: " + std::to_string(found) + " images in processed!" }));
        Lines results = c.names;
        results.insert(results.end(), c.kept.begin(), c.kept.end());
        std::sort(results.begin(), results.end());
        EXPECT_EQ(folder.files_in("result"), results);
        for (const std::string& name : c.names) expect_result(folder, name, c.expected_width, c.expected_height);
        for (const std::string& name : c.kept) EXPECT_EQ(folder.read(("result\\" + name).c_str()), OLDER_RESULT);
        if (!c.fill) continue;
        JpegReading cut = {};
        ASSERT_TRUE(decodes_at(folder.file("result\\c.jpg"), 64, 48, &cut));
        const Bytes red = { 220, 60, 30 };
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(cut.samples[(4 * 64 + 32) * 3 + k], red[k], 12) << "top, component " << k;
            EXPECT_NEAR(cut.samples[(44 * 64 + 32) * 3 + k], 128, 12) << "bottom, component " << k;
        }
    }
}

TEST(Batch, RefusedOrCancelledAnswersEndWithTheLowBeepAndNoResult) {
    struct Case {
        const char* name;
        std::vector<DialogAnswer> answers;
        Lines asked;
    } cases[] = {
        { "width 8193", { { "8193", ANSWER_ENTER } }, { WIDTH } },
        { "width 0", { { "0", ANSWER_ENTER } }, { WIDTH } },
        { "width -5", { { "-5", ANSWER_ENTER } }, { WIDTH } },
        { "width 12345", { { "12345", ANSWER_ENTER } }, { WIDTH } },
        { "width 00640, too long though in range", { { "00640", ANSWER_ENTER } }, { WIDTH } },
        { "width abc", { { "abc", ANSWER_OK } }, { WIDTH } },
        { "empty width", { { nullptr, ANSWER_ENTER } }, { WIDTH } },
        { "width cancelled by Escape", { { nullptr, ANSWER_ESCAPE } }, { WIDTH } },
        { "typed width cancelled by Escape", { { "640", ANSWER_ESCAPE } }, { WIDTH } },
        { "width dialog closed", { { "640", ANSWER_CLOSE_BOX } }, { WIDTH } },
        { "height 8193", { { "640", ANSWER_ENTER }, { "8193", ANSWER_ENTER } }, { WIDTH, HEIGHT } },
        { "height cancelled", { { "640", ANSWER_ENTER }, { "480", ANSWER_ESCAPE } }, { WIDTH, HEIGHT } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunFolder folder;
        folder.put_picture("p.jpg", 16, 16);
        Outcome outcome = folder.run(c.answers);
        expect_normal_end(outcome, LOW_BEEP);
        EXPECT_EQ(outcome.asked, c.asked);
        EXPECT_EQ(outcome.shown, Lines());
        EXPECT_EQ(folder.files_in("result"), Lines());
    }
}

TEST(Batch, NoPicturesToFindEndsWithoutADialog) {
    struct Case {
        const char* name;
        void (*fill)(const RunFolder& folder);
    } cases[] = {
        { "no images folder", [](const RunFolder&) {} },
        { "an empty images folder", [](const RunFolder& folder) { folder.make_folder("images"); } },
        { "only a sub-folder named x.jpg",
          [](const RunFolder& folder) {
              folder.make_folder("images");
              folder.make_folder("images\\x.jpg");
          } },
        { "only other kinds of files",
          [](const RunFolder& folder) { folder.put("x.png", jpeg_make(jpeg_bands(8, 8, { { 1, 2, 3 } }))); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunFolder folder;
        c.fill(folder);
        Outcome outcome = folder.run({});
        expect_normal_end(outcome, LOW_BEEP);
        EXPECT_EQ(outcome.asked, Lines());
        EXPECT_EQ(outcome.shown, Lines());
        EXPECT_EQ(folder.files_in("result"), Lines());
    }
}

TEST(Batch, OlderResultsAreReplaced) {
    RunFolder folder;
    folder.put_picture("a.jpg", 80, 60);
    folder.make_folder("result");
    Bytes older = jpeg_make(jpeg_bands(10, 10, { { 9, 9, 9 } }));
    folder.write("result\\a.jpg", older);
    folder.write("result\\other.jpg", older);
    Outcome outcome = folder.run({ { "640", ANSWER_ENTER }, { "480", ANSWER_ENTER } });
    expect_normal_end(outcome, HIGH_BEEP);
    expect_result(folder, "a.jpg", 640, 480);
    EXPECT_EQ(folder.read("result\\other.jpg"), older) << "not the program's to touch";
}

// The system marks a window whose thread has not taken a message for 5 s as hung; a
// long batch must answer its probe between pictures and show how far it has come.
static void long_batch(const std::function<void(HWND window)>& act, bool stops) {
    const int32_t COUNT = 60;
    RunFolder folder;
    folder.wait_ms = 5 * BATCH_WAIT_MS;
    Bytes picture = jpeg_make(jpeg_bands(4096, 3072, { { 200, 40, 40 }, { 40, 200, 40 } }, 95));
    for (int i = 0; i < COUNT; i++) folder.put("p" + std::to_string(100 + i) + ".jpg", picture);
    std::atomic<bool> watching(false);
    std::thread watcher;
    DWORD slowest_ms = 0, probes = 0, batch_start = 0, batch_ms = 0;
    HWND window = 0, bar = 0;
    std::vector<int32_t> positions;  // each change the watcher saw, then the last
    std::string seen, text;
    // From the height's dialog to the message box, window 0 is probed as the system probes
    // it, every tenth of a second, and the bar's position read once it shows.
    folder.seen = [&](HWND dialog) {
        if (ui_window_text(dialog) == "Height") {
            DWORD process = 0;
            GetWindowThreadProcessId(dialog, &process);
            window = ui_find_window(process, "WindowClass_0", "Vantorel", WAIT_MS);
            watching = true;
            watcher = std::thread([&] {
                for (; watching; Sleep(100)) {
                    DWORD start = GetTickCount(), took = 30000;
                    if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, took, 0)) took = GetTickCount() - start;
                    if (!bar && !(bar = ui_find_child(window, PROGRESS_CLASSA, -1))) continue;
                    if (!batch_start) batch_start = start;
                    if (++probes == 3) act(window);
                    slowest_ms = std::max(slowest_ms, took);
                    int32_t position = (int32_t)SendMessageA(bar, PBM_GETPOS, 0, 0);
                    if (positions.empty() || positions.back() != position) positions.push_back(position);
                }
            });
        } else if (watching) {
            watching = false;
            watcher.join();
            batch_ms = GetTickCount() - batch_start;
            positions.push_back(bar ? (int32_t)SendMessageA(bar, PBM_GETPOS, 0, 0) : -1);
            positions.push_back(bar ? (int32_t)SendMessageA(bar, PBM_GETRANGE, FALSE, 0) : -1);
            text = ui_window_text(ui_find_child(window, "Static", -1));
        }
    };
    Outcome outcome = folder.run({ { "4096", ANSWER_ENTER }, { "3072", ANSWER_ENTER } });
    watching = false;
    if (watcher.joinable()) watcher.join();

    if (stops) {
        expect_normal_end(outcome, LOW_BEEP);
        EXPECT_EQ(outcome.shown, Lines());
        Lines results = folder.files_in("result");
        EXPECT_LT(results.size(), (size_t)COUNT);
        EXPECT_EQ(std::count(results.begin(), results.end(), "~vantorel.tmp"), 0);
        for (const std::string& name : results) expect_result(folder, name, 4096, 3072);
        return;
    }
    expect_normal_end(outcome, HIGH_BEEP);
    EXPECT_EQ(outcome.shown, Lines({ "Success!: 60 images in processed!" }));
    EXPECT_EQ(folder.files_in("result").size(), (size_t)COUNT);
    for (int32_t position : positions) seen += " " + std::to_string(position);
    printf("batch: %lu ms, %lu probes, slowest answer %lu ms; positions, last, range:%s\n",
           (unsigned long)batch_ms, (unsigned long)probes, (unsigned long)slowest_ms, seen.c_str());
    EXPECT_GE(probes, 5u) << "the batch was too short to watch";
    // Well inside the system's 5 s (stretched with the waits: emulated, one picture takes
    // longer), and far below the whole batch: answered between pictures.
    EXPECT_LT(slowest_ms, test_wait_ms(2500));
    EXPECT_LT(slowest_ms * 4, batch_ms);
    ASSERT_GE(positions.size(), 6u) << "the bar did not climb:" << seen;
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end() - 1)) << seen;
    EXPECT_EQ(std::vector<int32_t>(positions.end() - 2, positions.end()), std::vector<int32_t>({ COUNT, COUNT }));
    EXPECT_EQ(text, "60 of 60 images in processed");
}

// Midway, Stop, the session's end and a quit stop the batch; a close request is only queued.
TEST(Batch, ALongBatchKeepsAnsweringTheSystemAndShowsItsProgress) {
    long_batch([](HWND w) { ui_click_button(ui_find_child(w, "Button", IDCANCEL)); }, true);
    long_batch([](HWND w) { SendMessageA(w, WM_ENDSESSION, TRUE, 0); }, true);
    long_batch([](HWND w) { PostThreadMessageA(GetWindowThreadProcessId(w, 0), WM_QUIT, 42, 0); }, true);
    long_batch([](HWND w) { PostMessageA(w, WM_CLOSE, 0, 0); }, false);
}

namespace {

// ".txt" opened by note_viewer while the test runs, which records the opened path in
// the test's folder; what ".txt" named before comes back afterwards.
class UsageNote : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(records.path().empty());
        std::string command = "\"" + beside_us("note_viewer.exe") + "\" \"%1\" \"" + record() + "\"";
        HKEY key;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".txt", 0, 0, 0, KEY_ALL_ACCESS, 0, &key,
                                  &disposition), ERROR_SUCCESS);
        created_txt = disposition == REG_CREATED_NEW_KEY;
        char value[256];
        DWORD size = sizeof value;
        if (RegQueryValueExA(key, 0, 0, 0, (BYTE*)value, &size) == ERROR_SUCCESS) {
            old_class.assign(value, size && !value[size - 1] ? size - 1 : size);
            // A run that was cut short may have left ours behind.
            had_class = old_class != VIEWER_CLASS;
        }
        RegCloseKey(key);
        ASSERT_TRUE(set_default(".txt", VIEWER_CLASS));
        ASSERT_TRUE(set_default((std::string(VIEWER_CLASS) + "\\shell\\open\\command").c_str(), command));
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, VIEWER_CLASS);
        if (created_txt) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, ".txt");
        } else if (had_class) {
            set_default(".txt", old_class);
        } else {
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".txt", 0);
        }
    }
    static bool set_default(const char* name, const std::string& value) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, name, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0)) return false;
        LONG status = RegSetValueExA(key, 0, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
    std::string record() const { return records.file("opened.txt"); }

    // The path the viewer was given and the folder it was started in, once it has ended;
    // empty when no viewer came within wait_ms.
    Lines opened(DWORD wait_ms) const {
        std::string text;
        ui_wait_until([&] { return !(text = read_whole_file(record())).empty(); }, wait_ms);
        Lines lines = crlf_lines(text);
        if (lines.size() != 3) return Lines();
        if (HANDLE viewer = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, strtoul(lines[2].c_str(), 0, 10))) {
            if (WaitForSingleObject(viewer, 5000) == WAIT_TIMEOUT) TerminateProcess(viewer, 1);
            CloseHandle(viewer);
        }
        lines.pop_back();
        return lines;
    }

    TempFolder records;
    bool created_txt = false;
    bool had_class = false;
    std::string old_class;
};

}  // namespace

TEST_F(UsageNote, TheBuiltNoteIsNineteenLinesOfCodePage1251) {
    std::string note = note_bytes();
    EXPECT_EQ(note.size(), 697u);
    EXPECT_EQ(note.find('\0'), std::string::npos);
    ASSERT_GE(note.size(), 2u);
    EXPECT_EQ(note.substr(note.size() - 2), "\r\n") << "the last line ends too";
    Lines lines = crlf_lines(note);
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], "Vantorel");
    EXPECT_EQ(lines[12], "Vantorel.exe");
    for (int empty : { 3, 6, 14 }) EXPECT_EQ(lines[empty], "") << "line " << empty + 1;
    for (const std::string& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos) << "a lone LF";
    // Russian in code page 1251: the Cyrillic letters are the bytes 0xC0 to 0xFF.
    EXPECT_GT(std::count_if(note.begin(), note.end(), [](char c) { return (unsigned char)c >= 0xC0; }), 300);
}

TEST_F(UsageNote, AMissingOrEmptyNoteIsWrittenAndOpenedFromTheProgramsFolder) {
    // The last: a folder of more than 260 bytes in the UTF-8 code page, but fewer characters.
    std::string cyrillic;
    for (int i = 0; i < 120; i++) cyrillic += "\u044f";
    for (const char* name_end : { "", "empty", cyrillic.c_str() }) {
        SCOPED_TRACE(name_end);
        DeleteFileA(record().c_str());
        RunFolder folder(false, name_end);
        if (!strcmp(name_end, "empty")) folder.write("readme.txt", "");
        std::string program = folder.copy_program();
        ASSERT_NE(program, "");
        Outcome outcome = folder.run({}, program);
        expect_normal_end(outcome, LOW_BEEP);  // no images folder
        EXPECT_TRUE(read_whole_file(folder.file("readme.txt")) == note_bytes()) << "byte for byte";
        EXPECT_EQ(opened(WAIT_MS), Lines({ folder.file("readme.txt"), folder.path() }));
    }
}

TEST_F(UsageNote, ANoteWithTextIsLeftAloneAndNotOpened) {
    RunFolder folder;
    std::string program = folder.copy_program();
    ASSERT_NE(program, "");
    Outcome outcome = folder.run({}, program);
    expect_normal_end(outcome, LOW_BEEP);
    EXPECT_EQ(read_whole_file(folder.file("readme.txt")), KEPT_NOTE);
    EXPECT_EQ(opened(1000), Lines());
}

TEST_F(UsageNote, FromAnotherFolderTheNoteIsWrittenThereAndOpenedFromTheProgramsFolder) {
    RunFolder program_folder;
    std::string program = program_folder.copy_program();
    ASSERT_NE(program, "");
    RunFolder current(false);
    Outcome outcome = program_folder.run_in(current.path(), {}, program);
    expect_normal_end(outcome, LOW_BEEP);
    EXPECT_TRUE(read_whole_file(current.file("readme.txt")) == note_bytes());
    EXPECT_EQ(read_whole_file(program_folder.file("readme.txt")), KEPT_NOTE);
    EXPECT_EQ(opened(WAIT_MS), Lines({ program_folder.file("readme.txt"), program_folder.path() }));
}
