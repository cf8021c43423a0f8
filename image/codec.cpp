// The plug-in tables and the decoder trial's first half: finding the decoder that
// accepts the data. Platform-neutral; the DIB that decode writes into is the image
// library's business (image/load.cpp).
#include "image/codec.h"

#include <string.h>

#include "image/properties.h"
#include "runtime/memory.h"

ImageDecodeRequest* image_decode_request;

static const ImageDecoder* decoders[IMAGE_CODEC_SLOTS];
static int32_t decoder_count;
static const ImageEncoder* encoders[IMAGE_CODEC_SLOTS];
static int32_t encoder_count;

void image_codecs_init(void) {
    decoder_count = 0;
    image_decode_request = (ImageDecodeRequest*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY,
                                                          sizeof(ImageDecodeRequest));
}

int32_t image_decoder_register(const ImageDecoder* decoder) {
    if (!decoder || decoder_count >= IMAGE_CODEC_SLOTS) return 0;
    decoders[decoder_count++] = decoder;
    return 1;
}

int32_t image_encoder_register(const ImageEncoder* encoder) {
    if (!encoder || encoder_count >= IMAGE_CODEC_SLOTS) return 0;
    encoders[encoder_count++] = encoder;
    return 1;
}

const ImageDecoder* image_decoder_find(ImageDecodeRequest* request, const uint8_t* data,
                                       uint32_t size) {
    memset(request, 0, sizeof *request);
    // What an earlier decode left unclaimed must not pass for this picture's.
    image_properties_free(image_properties_decoded);
    image_properties_decoded = 0;
    request->data = data;
    request->size = size;
    request->from_memory = 1;
    for (int32_t i = 0; i < decoder_count; i++) {
        memset(request->private_area, 0, sizeof request->private_area);
        if (decoders[i]->check(request)) {
            request->decoder = decoders[i];
            return decoders[i];
        }
    }
    return 0;
}

const ImageEncoder* image_encoder_find(uint32_t code) {
    for (int32_t i = 0; i < encoder_count; i++)
        if (encoders[i]->format_code == code) return encoders[i];
    return 0;
}
