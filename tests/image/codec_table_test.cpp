// The plug-in tables: registration order, the first accepting decoder wins, a fresh
// private area for every check, thirty plug-ins of each kind at most.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "image/codec.h"

namespace {

std::vector<int> checked;
int accepting = -1;        // the decoder that accepts, or -1 for none
bool private_was_clear;

template <int N>
int32_t check(ImageDecodeRequest* request) {
    checked.push_back(N);
    for (void* word : request->private_area)
        if (word) private_was_clear = false;
    request->private_area[0] = (void*)request;  // leaves its mark for the next decoder
    if (N != accepting) return 0;
    request->width = 10 + N;
    return 1;
}
int32_t decode(ImageDecodeRequest*, uint8_t*, int32_t, int32_t) { return 1; }
void finish(ImageDecodeRequest*) {}

const ImageDecoder decoders[] = {
    {check<0>, decode, finish, 0x30303030u},
    {check<1>, decode, finish, 0x31313131u},
    {check<2>, decode, finish, 0x32323232u},
};

int32_t encode(const char*, const uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 1; }

}  // namespace

TEST(CodecTables, OfferDataInRegistrationOrderUntilOneAccepts) {
    image_codecs_init();
    ASSERT_NE(image_decode_request, nullptr);
    ImageDecodeRequest* request = image_decode_request;
    const uint8_t data[] = {1, 2, 3};
    // Nothing registered: nothing accepts.
    EXPECT_EQ(image_decoder_find(request, data, sizeof data), nullptr);
    for (const ImageDecoder& d : decoders) ASSERT_EQ(image_decoder_register(&d), 1);

    struct { int accepting; std::vector<int> asked; } cases[] = {
        {0, {0}}, {1, {0, 1}}, {2, {0, 1, 2}}, {-1, {0, 1, 2}},
    };
    for (auto& c : cases) {
        accepting = c.accepting;
        checked.clear();
        private_was_clear = true;
        memset(request, 0xAB, sizeof *request);
        const ImageDecoder* found = image_decoder_find(request, data, sizeof data);
        EXPECT_EQ(checked, c.asked) << c.accepting;
        EXPECT_TRUE(private_was_clear) << c.accepting;
        EXPECT_EQ(request->data, data);
        EXPECT_EQ(request->size, sizeof data);
        EXPECT_EQ(request->from_memory, 1);
        EXPECT_EQ(request->stream, nullptr);
        if (c.accepting < 0) {
            EXPECT_EQ(found, nullptr);
        } else {
            EXPECT_EQ(found, &decoders[c.accepting]);
            EXPECT_EQ(request->decoder, found);
            EXPECT_EQ(request->width, 10 + c.accepting);
        }
    }

    // The table holds thirty and refuses the thirty-first without harm.
    for (int i = 3; i < IMAGE_CODEC_SLOTS; i++) ASSERT_EQ(image_decoder_register(&decoders[2]), 1) << i;
    EXPECT_EQ(image_decoder_register(&decoders[0]), 0);
    accepting = 0;
    checked.clear();
    EXPECT_EQ(image_decoder_find(request, data, sizeof data), &decoders[0]);

    // Start-up empties the decoder table.
    image_codecs_init();
    EXPECT_EQ(image_decoder_find(image_decode_request, data, sizeof data), nullptr);
}

TEST(CodecTables, FindTheFirstEncoderOfACode) {
    static const ImageEncoder first = {0x41414141u, encode, nullptr};
    static const ImageEncoder second = {0x42424242u, encode, encode};
    static const ImageEncoder again = {0x41414141u, encode, encode};
    EXPECT_EQ(image_encoder_find(0x41414141u), nullptr);
    ASSERT_EQ(image_encoder_register(&first), 1);
    ASSERT_EQ(image_encoder_register(&second), 1);
    ASSERT_EQ(image_encoder_register(&again), 1);
    EXPECT_EQ(image_encoder_find(0x41414141u), &first);
    EXPECT_EQ(image_encoder_find(0x42424242u), &second);
    EXPECT_EQ(image_encoder_find(IMAGE_FORMAT_JPEG), nullptr);
    for (int i = 3; i < IMAGE_CODEC_SLOTS; i++) ASSERT_EQ(image_encoder_register(&second), 1);
    EXPECT_EQ(image_encoder_register(&first), 0);
    EXPECT_EQ(image_encoder_register(nullptr), 0);
}
