// File objects: when buffered data reach the system, modes and sharing of file_open,
// automatic numbers, closing one or all, and writes the system refuses.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fs/files.h"
#include "fs/pathinfo.h"
#include "tests/support/short_heap.h"
#include "tests/support/temp_folder.h"

namespace {

class Files : public testing::Test {
  protected:
    void SetUp() override {
        file_library_init();
        file_buffer_size = 4096;
    }
    void TearDown() override {
        file_close(-1);
        file_buffer_size = 4096;
    }
    TempFolder folder;
};

// Bytes the system holds for the file, as seen through its own handle.
int64_t system_size(int32_t handle) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx((HANDLE)(intptr_t)handle, &size)) return -1;
    return size.QuadPart;
}

FileObject* record_of(int32_t identity) {
    return (FileObject*)(intptr_t)identity;
}

std::string pattern(size_t length, char first) {
    std::string text(length, 0);
    for (size_t i = 0; i < length; i++) text[i] = (char)(first + i % 23);
    return text;
}

int32_t write_text(int32_t number, const std::string& text) {
    return file_write_data(number, text.data(), (int32_t)text.size());
}

// Whether another program could open the file for access now.
bool others_can_open(const std::string& path, DWORD access) {
    HANDLE other = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                               OPEN_EXISTING, 0, 0);
    if (other == INVALID_HANDLE_VALUE) return false;
    CloseHandle(other);
    return true;
}

}  // namespace

TEST_F(Files, CreateEmptiesAnExistingFileAndGivesItsHandle) {
    std::string path = folder.write("readme.txt", "old content");
    int32_t handle = file_create(0, path.c_str());
    ASSERT_NE(handle, 0);
    EXPECT_EQ(GetFileType((HANDLE)(intptr_t)handle), (DWORD)FILE_TYPE_DISK);
    EXPECT_EQ(system_size(handle), 0);
    EXPECT_EQ(file_close(0), 1);
    EXPECT_EQ(read_whole_file(path), "");
}

TEST_F(Files, ACreateThatFailsLeavesTheNumberClosed) {
    EXPECT_EQ(file_create(0, folder.file("missing\\readme.txt").c_str()), 0);
    EXPECT_EQ(file_create(0, nullptr), 0);
    EXPECT_EQ(file_write_data(0, "x", 1), 0);
    EXPECT_EQ(file_close(0), 0);
}

TEST_F(Files, TheUsageNoteReachesTheSystemInOneWriteAtClose) {
    std::string path = folder.file("readme.txt");
    std::string note = pattern(697, 'A');
    int32_t handle = file_create(0, path.c_str());
    ASSERT_NE(handle, 0);
    EXPECT_EQ(write_text(0, note), 697);
    EXPECT_EQ(system_size(handle), 0);
    EXPECT_EQ(file_close(0), 1);
    EXPECT_EQ(read_whole_file(path), note);
}

TEST_F(Files, PendingBytesReachTheSystemBeforeAWriteThatDoesNotFit) {
    struct { size_t first, second; int64_t after_first, after_second; } cases[] = {
        {4095, 1, 0, 4095},     // as large as the room: flush, then buffer
        {100, 5000, 0, 5100},   // larger than the buffer: flush, then straight through
        {1, 4095, 0, 1},
        {4096, 1, 4096, 4096},  // the whole buffer at once bypasses it
        {10, 20, 0, 0},
    };
    for (auto c : cases) {
        std::string path = folder.file("f.bin");
        std::string first = pattern(c.first, 'a'), second = pattern(c.second, 'A');
        int32_t handle = file_create(0, path.c_str());
        ASSERT_NE(handle, 0);
        EXPECT_EQ(write_text(0, first), (int32_t)c.first) << c.first;
        EXPECT_EQ(system_size(handle), c.after_first) << c.first;
        EXPECT_EQ(write_text(0, second), (int32_t)c.second) << c.first;
        EXPECT_EQ(system_size(handle), c.after_second) << c.first;
        EXPECT_EQ(file_close(0), 1);
        EXPECT_EQ(read_whole_file(path), first + second) << c.first;
    }
}

TEST_F(Files, MixedWritesKeepTheirOrder) {
    std::string path = folder.file("mixed.bin");
    ASSERT_NE(file_create(0, path.c_str()), 0);
    std::string expected;
    const int sizes[] = {1, 2, 4, 3, 1, 4, 2, 4090, 1, 2, 4, 4096, 7, 1, 9000, 2, 4, 1};
    char first = 'a';
    for (int round = 0; round < 3; round++)
        for (int size : sizes) {
            std::string piece = pattern((size_t)size, first++);
            ASSERT_EQ(write_text(0, piece), size);
            expected += piece;
        }
    EXPECT_EQ(file_close(0), 1);
    EXPECT_EQ(read_whole_file(path), expected);
}

TEST_F(Files, EmptyWritesAreRefusedAndChangeNothing) {
    std::string path = folder.file("f.txt");
    ASSERT_NE(file_create(3, path.c_str()), 0);
    ASSERT_EQ(write_text(3, "ab"), 2);
    EXPECT_EQ(file_write_data(3, nullptr, 5), 0);
    EXPECT_EQ(file_write_data(3, "xyz", 0), 0);
    EXPECT_EQ(file_write_data(3, "xyz", -1), 0);
    EXPECT_EQ(file_write_data(3, "xyz", INT32_MIN), 0);
    EXPECT_EQ(file_write_data(4, "xyz", 3), 0) << "no file has number 4";
    EXPECT_EQ(file_close(3), 1);
    EXPECT_EQ(read_whole_file(path), "ab");
}

TEST_F(Files, UnbufferedFilesWriteAtOnce) {
    int32_t flagged = file_open(0, folder.file("a.bin").c_str(), FILE_OPEN_CREATE, FILE_UNBUFFERED);
    ASSERT_NE(flagged, 0);
    file_buffer_size = 0;
    int32_t unset = file_create(1, folder.file("b.bin").c_str());
    ASSERT_NE(unset, 0);
    for (int32_t number : {0, 1}) EXPECT_EQ(write_text(number, "0123456789"), 10);
    EXPECT_EQ(system_size(flagged), 10);
    EXPECT_EQ(system_size(unset), 10);
}

TEST_F(Files, CreatingAnOpenNumberAgainClosesTheOldFileFirst) {
    std::string first = folder.file("first.txt");
    ASSERT_NE(file_create(0, first.c_str()), 0);
    ASSERT_EQ(write_text(0, "pending"), 7);
    // The same name again: only possible once the old handle is gone.
    ASSERT_NE(file_create(0, first.c_str()), 0);
    ASSERT_EQ(write_text(0, "second"), 6);
    std::string other = folder.file("other.txt");
    ASSERT_NE(file_create(0, other.c_str()), 0);
    EXPECT_EQ(read_whole_file(first), "second");
    EXPECT_EQ(file_close(0), 1);
    EXPECT_EQ(file_size(other.c_str()), 0);
}

TEST_F(Files, CloseAllClosesEveryFileWithItsPendingData) {
    int32_t automatic = file_create(-1, folder.file("auto.txt").c_str());
    ASSERT_NE(automatic, 0);
    ASSERT_NE(file_create(0, folder.file("zero.txt").c_str()), 0);
    ASSERT_NE(file_create(5, folder.file("five.txt").c_str()), 0);
    for (int32_t number : {automatic, 0, 5}) ASSERT_EQ(write_text(number, "data"), 4);
    EXPECT_NE(file_close(-1), 0);
    for (const char* name : {"auto.txt", "zero.txt", "five.txt"})
        EXPECT_EQ(read_whole_file(folder.file(name)), "data") << name;
    for (int32_t number : {automatic, 0, 5}) {
        EXPECT_EQ(write_text(number, "more"), 0) << number;
        EXPECT_EQ(file_close(number), 0) << number;
    }
}

TEST_F(Files, ReleaseAllWritesWhatWasNeverClosed) {
    std::string path = folder.file("forgotten.txt");
    ASSERT_NE(file_create(2, path.c_str()), 0);
    ASSERT_EQ(write_text(2, "never closed"), 12);
    file_release_all();
    EXPECT_EQ(read_whole_file(path), "never closed");
    EXPECT_EQ(file_close(2), 0);
}

TEST_F(Files, AutomaticNumbersAreTheReturnedIdentity) {
    std::string path = folder.file("auto.txt");
    int32_t identity = file_create(-1, path.c_str());
    ASSERT_NE(identity, 0);
    FileObject* file = record_of(identity);
    EXPECT_NE(file->handle, nullptr);
    EXPECT_EQ(file->buffer_size, 4096);
    EXPECT_EQ(file->mode, FILE_MODE_READ);
    ASSERT_EQ(write_text(identity, "abc"), 3);
    EXPECT_EQ(file->mode, FILE_MODE_WRITE);
    EXPECT_EQ(file->room, 4093);
    EXPECT_EQ(file_close(identity), 1);
    EXPECT_EQ(file_close(identity), 0);
    EXPECT_EQ(read_whole_file(path), "abc");
}

TEST_F(Files, AnAutomaticNumberWithoutMemoryCreatesNothing) {
    std::string path = folder.file("never.txt");
    {
        ShortObjectHeap heap(0);
        ASSERT_FALSE(heap.fits(sizeof(FileObject)));
        EXPECT_EQ(file_create(-1, path.c_str()), 0);
        EXPECT_EQ(file_open(-1, path.c_str(), FILE_OPEN_CREATE, 0), 0);
        EXPECT_EQ(file_open(-1, path.c_str(), FILE_OPEN_READ_WRITE, 0), 0);
    }
    EXPECT_EQ(file_size(path.c_str()), -1);
}

TEST_F(Files, OpenWithAModeOutsideOneToThreeOpensNothing) {
    std::string kept = folder.file("kept.txt");
    ASSERT_NE(file_create(0, kept.c_str()), 0);
    ASSERT_EQ(write_text(0, "still open"), 10);
    for (int32_t mode : {0, 4, -1, 100}) {
        std::string path = folder.file("mode" + std::to_string(mode) + ".txt");
        EXPECT_EQ(file_open(0, path.c_str(), mode, 0), 0) << mode;
        EXPECT_EQ(file_open(-1, path.c_str(), mode, 0), 0) << mode;
        EXPECT_EQ(file_size(path.c_str()), -1) << mode;
    }
    EXPECT_EQ(file_close(0), 1) << "file 0 stayed open";
    EXPECT_EQ(read_whole_file(kept), "still open");
}

TEST_F(Files, ReadModeNeedsAnExistingFile) {
    EXPECT_EQ(file_open(0, folder.file("missing.txt").c_str(), FILE_OPEN_READ, 0), 0);
    EXPECT_EQ(file_size(folder.file("missing.txt").c_str()), -1);
    std::string path = folder.write("there.txt", "content");
    EXPECT_NE(file_open(0, path.c_str(), FILE_OPEN_READ, 0), 0);
}

TEST_F(Files, WritesTheSystemRefusesAreReportedNotSwallowed) {
    std::string path = folder.write("read only.txt", "content");
    // Unbuffered: the refused write gives 0 at once.
    ASSERT_NE(file_open(0, path.c_str(), FILE_OPEN_READ, FILE_UNBUFFERED), 0);
    EXPECT_EQ(write_text(0, "x"), 0);
    EXPECT_EQ(file_close(0), 1);

    // Buffered: a write that needs a flush the system refuses takes nothing, the
    // pending bytes stay pending, and the close that cannot write them says so.
    int32_t identity = file_open(-1, path.c_str(), FILE_OPEN_READ, 0);
    ASSERT_NE(identity, 0);
    FileObject* file = record_of(identity);
    EXPECT_EQ(write_text(identity, "0123456789"), 10);
    EXPECT_EQ(write_text(identity, pattern(5000, 'a')), 0);
    EXPECT_EQ(file_flush_buffer(file), 0);
    EXPECT_EQ(file->room, 4096 - 10);
    EXPECT_EQ(write_text(identity, pattern(4090, 'a')), 0);
    EXPECT_EQ(file->room, 4096 - 10);
    EXPECT_EQ(file_close(identity), 0);
    EXPECT_EQ(read_whole_file(path), "content");
}

TEST_F(Files, FlushingWithoutPendingDataWritesNothing) {
    int32_t identity = file_create(-1, folder.file("f.txt").c_str());
    ASSERT_NE(identity, 0);
    EXPECT_EQ(file_flush_buffer(nullptr), 0);
    EXPECT_EQ(file_flush_buffer(record_of(identity)), 0) << "read mode";
    ASSERT_EQ(write_text(identity, "abc"), 3);
    EXPECT_EQ(file_flush_buffer(record_of(identity)), 3);
    EXPECT_EQ(file_flush_buffer(record_of(identity)), 0);
    EXPECT_EQ(record_of(identity)->room, 4096);
}

TEST_F(Files, ReadWriteModeKeepsTheContentAndCanAppend) {
    std::string path = folder.write("f.txt", "hello");
    ASSERT_NE(file_open(0, path.c_str(), FILE_OPEN_READ_WRITE, 0), 0);
    ASSERT_EQ(write_text(0, "J"), 1);
    ASSERT_EQ(file_close(0), 1);
    EXPECT_EQ(read_whole_file(path), "Jello");

    ASSERT_NE(file_open(0, path.c_str(), FILE_OPEN_READ_WRITE, FILE_APPEND), 0);
    ASSERT_EQ(write_text(0, " world"), 6);
    ASSERT_EQ(file_close(0), 1);
    EXPECT_EQ(read_whole_file(path), "Jello world");

    std::string fresh = folder.file("fresh.txt");
    ASSERT_NE(file_open(0, fresh.c_str(), FILE_OPEN_READ_WRITE, 0), 0);
    EXPECT_EQ(file_size(fresh.c_str()), 0);
}

TEST_F(Files, CreateModeEmptiesTheFile) {
    std::string path = folder.write("f.txt", "old");
    ASSERT_NE(file_open(0, path.c_str(), FILE_OPEN_CREATE, 0), 0);
    ASSERT_EQ(file_close(0), 1);
    EXPECT_EQ(read_whole_file(path), "");
}

TEST_F(Files, FlagsDecideWhatOthersMayDoMeanwhile) {
    std::string path = folder.write("shared.txt", "x");
    struct {
        int32_t mode, flags;
        bool read, write;
    } cases[] = {
        {FILE_OPEN_READ, 0, false, false},
        {FILE_OPEN_READ, FILE_SHARE_FOR_READING, true, false},
        {FILE_OPEN_READ_WRITE, 0, false, false},
        {FILE_OPEN_READ_WRITE, FILE_SHARE_FOR_READING, true, false},
        {FILE_OPEN_READ_WRITE, FILE_SHARE_FOR_WRITING, true, true},
        {FILE_OPEN_CREATE, FILE_SHARE_FOR_READING, true, false},
        {FILE_OPEN_CREATE, FILE_SHARE_FOR_READING | FILE_SHARE_FOR_WRITING, true, true},
    };
    for (auto c : cases) {
        ASSERT_NE(file_open(0, path.c_str(), c.mode, c.flags), 0) << c.mode << "/" << c.flags;
        EXPECT_EQ(others_can_open(path, GENERIC_READ), c.read) << c.mode << "/" << c.flags;
        EXPECT_EQ(others_can_open(path, GENERIC_WRITE), c.write) << c.mode << "/" << c.flags;
        file_close(0);
    }
}
