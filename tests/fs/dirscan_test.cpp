// Directory scans: entries with their kind and name, empty and failed scans, number
// reuse, automatic numbers, release of every scan.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "fs/dirscan.h"
#include "runtime/strings.h"
#include "tests/support/short_heap.h"
#include "tests/support/temp_folder.h"

namespace {

// The current entry's name, taken out of the temporary buffer.
std::string entry_name(int32_t number) {
    int32_t start = string_end;
    dir_entry_name(number, start);
    std::string name(string_buffer + start);
    EXPECT_EQ(string_end, start + (int32_t)name.size());
    string_end = start;
    return name;
}

// Every entry of a scan, name to kind, until dir_next_entry says the end.
std::map<std::string, int32_t> all_entries(int32_t number) {
    std::map<std::string, int32_t> entries;
    for (int guard = 0; guard < 1000 && dir_next_entry(number); guard++)
        entries[entry_name(number)] = dir_entry_type(number);
    return entries;
}

// images\ with two pictures, a text and a folder whose name looks like a picture.
struct PictureFolder {
    PictureFolder() {
        images = folder.file("images");
        CreateDirectoryA(images.c_str(), 0);
        for (const char* name : {"a.jpg", "b.jpg", "c.txt"})
            folder.write(std::string("images\\") + name, name);
        CreateDirectoryA((images + "\\d.jpg").c_str(), 0);
    }
    TempFolder folder;
    std::string images;
};

const std::map<std::string, int32_t> pictures = {
    {"a.jpg", DIR_ENTRY_FILE}, {"b.jpg", DIR_ENTRY_FILE}, {"d.jpg", DIR_ENTRY_DIRECTORY}};

}  // namespace

TEST(DirScan, YieldsEveryMatchWithItsKindAndBareName) {
    PictureFolder f;
    for (std::string directory : {f.images, f.images + "\\"}) {
        ASSERT_NE(dir_examine(0, directory.c_str(), "*.jpg"), 0) << directory;
        EXPECT_EQ(all_entries(0), pictures) << directory;
        EXPECT_EQ(dir_next_entry(0), 0) << "stays at the end";
        EXPECT_NE(dir_finish(0), 0);
    }
}

TEST(DirScan, AnEmptyDirectorySearchesTheCurrentFolder) {
    PictureFolder f;
    CurrentFolder here(f.images);
    for (const char* directory : {"", (const char*)nullptr}) {
        ASSERT_NE(dir_examine(0, directory, "*.jpg"), 0);
        EXPECT_EQ(all_entries(0), pictures);
        dir_finish(0);
    }
}

TEST(DirScan, AMissingPatternListsEverythingWithTheDotEntries) {
    PictureFolder f;
    std::map<std::string, int32_t> everything = pictures;
    everything["c.txt"] = DIR_ENTRY_FILE;
    everything["."] = DIR_ENTRY_DIRECTORY;
    everything[".."] = DIR_ENTRY_DIRECTORY;
    for (const char* pattern : {(const char*)nullptr, "", "*.*"}) {
        ASSERT_NE(dir_examine(2, f.images.c_str(), pattern), 0);
        EXPECT_EQ(all_entries(2), everything) << (pattern ? pattern : "(null)");
        dir_finish(2);
    }
}

TEST(DirScan, AFolderWithoutMatchesIsAScanWithoutEntries) {
    PictureFolder f;
    ASSERT_NE(dir_examine(0, f.images.c_str(), "*.png"), 0);
    EXPECT_EQ(dir_next_entry(0), 0);
    EXPECT_EQ(dir_next_entry(0), 0);
    EXPECT_EQ(entry_name(0), "");
    EXPECT_NE(dir_finish(0), 0);
}

TEST(DirScan, AMissingFolderLeavesTheNumberWithoutAScan) {
    PictureFolder f;
    ASSERT_NE(dir_examine(4, f.images.c_str(), "*.jpg"), 0);
    EXPECT_EQ(dir_examine(4, f.folder.file("nothing").c_str(), "*.jpg"), 0);
    EXPECT_EQ(dir_next_entry(4), 0);
    EXPECT_EQ(dir_entry_type(4), DIR_ENTRY_NONE);
    EXPECT_EQ(entry_name(4), "");
    EXPECT_EQ(dir_finish(4), 0);
}

TEST(DirScan, NumbersWithoutAScanGiveEmptyAnswers) {
    for (int32_t number : {9, 1000, -1, -7, 0x12345678}) {
        EXPECT_EQ(dir_next_entry(number), 0) << number;
        EXPECT_EQ(dir_entry_type(number), DIR_ENTRY_NONE) << number;
        EXPECT_EQ(entry_name(number), "") << number;
        EXPECT_EQ(dir_finish(number), 0) << number;
    }
}

TEST(DirScan, ANewScanOnABusyNumberClosesTheOldSearch) {
    PictureFolder f;
    DirectoryScan* old_scan = (DirectoryScan*)(intptr_t)dir_examine(1, f.images.c_str(), "*.*");
    ASSERT_NE(old_scan, nullptr);
    HANDLE old_search = old_scan->search_handle;
    ASSERT_EQ(dir_next_entry(1), 1);
    DirectoryScan* new_scan = (DirectoryScan*)(intptr_t)dir_examine(1, f.folder.path().c_str(), "*.*");
    ASSERT_EQ(new_scan, old_scan) << "a table number keeps its record";
    std::map<std::string, int32_t> top = all_entries(1);
    EXPECT_EQ(top.count("images"), 1u);
    EXPECT_EQ(top.count("a.jpg"), 0u);
    // With the new one closed too, an old search left open would still answer here.
    dir_finish(1);
    WIN32_FIND_DATAA data;
    EXPECT_FALSE(FindNextFileA(old_search, &data));
}

TEST(DirScan, AutomaticNumbersAreTheReturnedIdentity) {
    PictureFolder f;
    int32_t first = dir_examine(-1, f.images.c_str(), "*.jpg");
    int32_t second = dir_examine(-1, f.images.c_str(), "a.*");
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(all_entries(second), (std::map<std::string, int32_t>{{"a.jpg", DIR_ENTRY_FILE}}));
    EXPECT_EQ(all_entries(first), pictures);
    EXPECT_NE(dir_finish(first), 0);
    EXPECT_EQ(dir_finish(first), 0);
    EXPECT_NE(dir_finish(second), 0);
}

TEST(DirScan, AnAutomaticNumberWithoutMemorySearchesNothing) {
    PictureFolder f;
    ASSERT_NE(dir_examine(0, f.images.c_str(), "*.jpg"), 0);
    {
        // Room for the search text, none for a record.
        size_t text = f.images.size() + sizeof "\\*.jpg";
        ShortObjectHeap heap(text + 16);
        ASSERT_TRUE(heap.fits(text));
        ASSERT_FALSE(heap.fits(sizeof(DirectoryScan)));
        EXPECT_EQ(dir_examine(-1, f.images.c_str(), "*.jpg"), 0);
    }
    {
        ShortObjectHeap heap(0);
        EXPECT_EQ(dir_examine(0, f.images.c_str(), "*.txt"), 0);
    }
    // Without memory for the search text, the scan the number held goes on.
    EXPECT_EQ(all_entries(0), pictures);
    dir_finish(0);
}

TEST(DirScan, TheNameIsBuiltAtTheCallersPosition) {
    PictureFolder f;
    ASSERT_NE(dir_examine(0, f.images.c_str(), "a.jpg"), 0);
    ASSERT_EQ(dir_next_entry(0), 1);
    int32_t start = string_end;
    str_concat("images\\");
    dir_entry_name(0, string_end);
    EXPECT_STREQ(string_buffer + start, "images\\a.jpg");
    EXPECT_EQ(string_end, start + 12);
    string_end = start;
    dir_finish(0);
}

TEST(DirScan, ReleaseAllFinishesEveryScan) {
    PictureFolder f;
    ASSERT_NE(dir_examine(0, f.images.c_str(), "*.jpg"), 0);
    ASSERT_NE(dir_examine(3, f.images.c_str(), "*.png"), 0);
    int32_t automatic = dir_examine(-1, f.images.c_str(), "*.*");
    ASSERT_NE(automatic, 0);
    dir_release_all();
    for (int32_t number : {0, 3, automatic}) {
        EXPECT_EQ(dir_entry_type(number), DIR_ENTRY_NONE) << number;
        EXPECT_EQ(dir_finish(number), 0) << number;
    }
}
