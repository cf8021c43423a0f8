// str_to_int, int_to_str and u64_to_decimal.
#include <gtest/gtest.h>

#include <string.h>

#include "runtime/numbers.h"
#include "runtime/strings.h"

TEST(StrToInt, ReadsEveryForm) {
    struct { const char* text; int64_t value; } cases[] = {
        {"  -42abc", -42},
        {"+7", 7},
        {"- 7", 0},
        {"\t\t 9", 9},
        {"$ff", 255},
        {"$FF", 255},
        {"$", 0},
        {"$fG", 15},
        {"%1011", 11},
        {"%102", 2},
        {"12.9", 12},
        {"", 0},
        {nullptr, 0},
        {"18446744073709551617", 1},
        {"$FFFFFFFFFFFFFFFF", -1},
        {"-$10", -16},
        {"-%11", -3},
        {"+-5", 0},
        {"--5", 0},
        {" 640", 640},
        {"64px", 64},
        {"abc", 0},
        {"$400", 1024},
        {"%101", 5},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"\xB9" "5", 0},
        {"0x10", 0},
    };
    for (auto c : cases)
        EXPECT_EQ(str_to_int(c.text), c.value) << (c.text ? c.text : "(null)");
}

class IntToStr : public testing::Test {
  protected:
    void SetUp() override {
        str_engine_free();
        str_engine_init();
    }
};

TEST_F(IntToStr, WritesDecimal) {
    struct { int64_t value; const char* text; } cases[] = {
        {0, "0"},
        {-1, "-1"},
        {7, "7"},
        {2147483647, "2147483647"},
        {-2147483647 - 1, "-2147483648"},
        {2147483648LL, "2147483648"},
        {-2147483649LL, "-2147483649"},
        {INT64_MIN, "-9223372036854775808"},
        {1000000, "1000000"},
    };
    for (auto c : cases) {
        int32_t pos = string_end;
        int_to_str(c.value, pos);
        EXPECT_STREQ(string_buffer + pos, c.text);
        EXPECT_EQ(string_end, pos + (int32_t)strlen(c.text)) << c.text;
        string_end = pos;
    }
}

TEST_F(IntToStr, LeavesTheEndOnTheTerminatorBehindEarlierText) {
    str_concat("count: ");
    int32_t p = string_end;
    int_to_str(12345, p);
    EXPECT_EQ(string_buffer[string_end], 0);
    str_concat(" images in processed!");
    EXPECT_STREQ(string_buffer, "count: 12345 images in processed!");
}

TEST_F(IntToStr, GrowsTheBufferAtMostOnce) {
    int_to_str(INT64_MIN, 0);
    int32_t capacity = string_capacity;
    EXPECT_EQ(capacity, 64 + 0x4000);
    for (int i = 0; i < 100; i++) {
        int32_t pos = string_end;
        int_to_str(-123456789, pos);
    }
    EXPECT_EQ(string_capacity, capacity);
}

TEST(U64ToDecimal, WritesDigitsAndTerminator) {
    char out[21];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(u64_to_decimal(out, UINT64_MAX), out);
    EXPECT_STREQ(out, "18446744073709551615");
    EXPECT_STREQ(u64_to_decimal(out, 0), "0");
    EXPECT_STREQ(u64_to_decimal(out, 10), "10");
}
