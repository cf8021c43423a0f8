// The string engine: growth of the temporary buffer, the temporary-string protocol,
// string variables and reading.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include "runtime/strings.h"
#include "tests/support/heap_faults.h"

// Every test starts from a fresh engine, as start-up leaves it.
class StringEngine : public testing::Test {
  protected:
    void SetUp() override {
        str_engine_free();
        str_engine_init();
    }
    static char* exact_copy(const char* text) {  // a block with no byte to spare
        size_t n = strlen(text) + 1;
        char* block = (char*)malloc(n);
        memcpy(block, text, n);
        return block;
    }
};

TEST_F(StringEngine, StartsEmptyWithSixteenBytes) {
    EXPECT_EQ(string_end, 0);
    EXPECT_EQ(string_capacity, 16);
    EXPECT_EQ(HeapSize(string_heap, 0, string_buffer), 16u);
}

TEST_F(StringEngine, ReserveGrowsFromTwelveBytesAtOffsetZero) {
    struct { int32_t n; int32_t capacity; } cases[] = {
        {1, 16}, {11, 16}, {12, 12 + 0x4000}, {100, 16484},
    };
    for (auto c : cases) {
        SetUp();
        char* p = str_reserve(c.n, 0);
        EXPECT_EQ(p, string_buffer) << c.n;
        EXPECT_EQ(string_end, c.n);
        EXPECT_EQ(string_capacity, c.capacity) << c.n;
        SIZE_T block = c.capacity == 16 ? 16 : (SIZE_T)c.capacity + 5;
        EXPECT_EQ(HeapSize(string_heap, 0, string_buffer), block) << c.n;
        memset(p, 'x', (size_t)c.n + 1);  // the room and its terminator are writable
    }
}

TEST_F(StringEngine, GrowthTestCountsFromTheEndNotThePosition) {
    str_concat("0123456789");  // string_end 10
    str_reserve(2, 0);         // 10 + 2 reaches capacity - 4 although pos is 0
    EXPECT_EQ(string_capacity, 10 + 2 + 0x4000);
    EXPECT_EQ(string_end, 2);
}

TEST_F(StringEngine, GrowthKeepsTheTextsBuilt) {
    str_concat("images\\");
    str_concat("a picture with a long name.jpg");
    EXPECT_GT(string_capacity, 16);
    EXPECT_STREQ(string_buffer, "images\\a picture with a long name.jpg");
    EXPECT_EQ(string_end, str_length(string_buffer));
}

TEST_F(StringEngine, GiveBackAndCutAt) {
    char* p = str_reserve(32, 0);
    memcpy(p, "640", 4);
    EXPECT_EQ(str_give_back(29), 3);
    EXPECT_EQ(string_end, 3);
    str_concat("x");
    EXPECT_STREQ(string_buffer, "640x");
    EXPECT_EQ(str_cut_at(1), 1);
    EXPECT_EQ(string_end, 1);
    EXPECT_STREQ(string_buffer, "6");
}

TEST_F(StringEngine, ConcatOfNullOnlyTerminates) {
    str_concat("ab");
    string_buffer[2] = 'z';
    str_concat(nullptr);
    EXPECT_EQ(string_end, 2);
    EXPECT_EQ(string_buffer[2], 0);
}

TEST_F(StringEngine, ConcatReadsNoFurtherThanItsSource) {
    char* source = exact_copy("abcdefg");  // 7 letters: not a multiple of 4
    str_concat(source);
    str_concat(source);
    EXPECT_STREQ(string_buffer, "abcdefgabcdefg");
    free(source);
}

TEST_F(StringEngine, ConcatOfTextInsideTheBufferSurvivesGrowth) {
    str_concat("0123456789");
    str_concat(string_buffer);  // the buffer grows and moves under its own text
    EXPECT_STREQ(string_buffer, "01234567890123456789");
}

TEST_F(StringEngine, BufferOffsets) {
    str_concat("hello");
    EXPECT_EQ(str_buffer_offset(string_buffer), 1);
    EXPECT_EQ(str_buffer_offset(string_buffer + string_end), string_end + 1);
    EXPECT_EQ(str_buffer_offset(string_buffer + string_end + 1), 0);
    EXPECT_EQ(str_buffer_offset(string_buffer - 1), 0);
    EXPECT_EQ(str_buffer_offset("hello"), 0);
    EXPECT_EQ(str_buffer_offset(nullptr), 0);
    EXPECT_EQ(str_buffer_pointer(1), string_buffer);
    EXPECT_EQ(str_buffer_pointer(4), string_buffer + 3);
}

TEST_F(StringEngine, OffsetsCarryAPointerAcrossGrowth) {
    str_concat("name");
    int32_t offset = str_buffer_offset(string_buffer);
    str_reserve(100000, string_end);  // moves the buffer
    EXPECT_STREQ(str_buffer_pointer(offset), "name");
}

TEST_F(StringEngine, AssignMovesTheTextAndRestoresTheEnd) {
    str_concat("keep");
    int32_t s = string_end;
    str_concat("result\\");
    str_concat("photo.jpg");
    char* variable = nullptr;
    EXPECT_EQ(str_assign(&variable, s), s);
    EXPECT_EQ(string_end, s);
    EXPECT_STREQ(variable, "result\\photo.jpg");
    EXPECT_EQ(HeapSize(string_heap, 0, variable), 16u + 5u);
    str_release(variable);
}

TEST_F(StringEngine, AssignOfEmptyTextGivesAFiveByteBlock) {
    char* variable = nullptr;
    str_assign(&variable, string_end);
    ASSERT_NE(variable, nullptr);
    EXPECT_EQ(HeapSize(string_heap, 0, variable), 5u);
    EXPECT_EQ(str_length(variable), 0);
    str_release(variable);
}

TEST_F(StringEngine, AssignResizesTheVariablesBlock) {
    char* variable = nullptr;
    for (const char* text : {"short", "a considerably longer text than before", "", "mid"}) {
        int32_t s = string_end;
        str_concat(text);
        str_assign(&variable, s);
        EXPECT_STREQ(variable, text);
        EXPECT_EQ(HeapSize(string_heap, 0, variable), strlen(text) + 5);
    }
    // A mend: when the block cannot be had the variable is left empty, its old text
    // ("mid") freed, so that it is never read as the new one.
    int32_t live = heap_live_blocks();
    int32_t s = string_end;
    str_concat("1080");
    heap_faults_arm(1, 1);
    EXPECT_EQ(str_assign(&variable, s), s);
    heap_faults_disarm();
    EXPECT_EQ(variable, nullptr);
    EXPECT_EQ(string_end, s);
    EXPECT_EQ(heap_live_blocks(), live - 1);
}

TEST_F(StringEngine, DuplicateCopiesOrLeavesTheVariableAlone) {
    char* source = exact_copy("abcde");
    char* variable = nullptr;
    str_duplicate(&variable, source);
    ASSERT_NE(variable, nullptr);
    EXPECT_NE(variable, source);
    EXPECT_STREQ(variable, "abcde");
    EXPECT_EQ(HeapSize(string_heap, 0, variable), 10u);
    char* before = variable;
    str_duplicate(&variable, nullptr);
    EXPECT_EQ(variable, before);
    str_release(variable);
    str_release(nullptr);
    free(source);
}

TEST_F(StringEngine, LengthAndCompare) {
    EXPECT_EQ(str_length(nullptr), 0);
    EXPECT_EQ(str_length(""), 0);
    EXPECT_EQ(str_length("Vantorel"), 8);
    struct { const char* a; const char* b; int32_t equal; } cases[] = {
        {nullptr, "", 1}, {"", nullptr, 1}, {nullptr, nullptr, 1},
        {"Width", "Width", 1}, {"Width", "width", 0}, {"640", "6400", 0},
        {"", " ", 0}, {"\xC0\xE1", "\xC0\xE1", 1},
    };
    for (auto c : cases)
        EXPECT_EQ(str_compare(c.a, c.b), c.equal) << (c.a ? c.a : "(null)") << " / "
                                                  << (c.b ? c.b : "(null)");
}

TEST_F(StringEngine, NestedExpressionsStackBehindEachOther) {
    // The caller's protocol: save, build, step past the terminator, call, restore.
    int32_t outer = string_end;
    str_concat("images\\");
    str_concat("a.jpg");
    string_end++;
    int32_t inner = string_end;
    str_concat("result\\a.jpg");
    EXPECT_STREQ(string_buffer + inner, "result\\a.jpg");
    EXPECT_STREQ(string_buffer + outer, "images\\a.jpg");
}
