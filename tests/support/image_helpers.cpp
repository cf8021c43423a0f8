// Image records and pixels for the Windows image tests.
#include "tests/support/image_helpers.h"

ImageObject* test_image(int32_t number) {
    return (ImageObject*)registry_get(image_registry, number);
}

TestPicture test_image_pixels(int32_t number) {
    TestPicture picture{0, 0, {}};
    ImageObject* image = test_image(number);
    DIBSECTION section;
    if (!image || GetObjectA(image->handle, sizeof section, &section) != sizeof section) return picture;
    int32_t bits = section.dsBm.bmBitsPixel;
    if (bits != 24 && bits != 32) return picture;
    picture.width = section.dsBm.bmWidth;
    picture.height = section.dsBm.bmHeight;
    int32_t pitch = dib_row_bytes(picture.width, bits);
    const uint8_t* base = (const uint8_t*)section.dsBm.bmBits;
    for (int32_t y = 0; y < picture.height; y++) {
        const uint8_t* row = base + (size_t)(picture.height - 1 - y) * pitch;  // bottom-up
        for (int32_t x = 0; x < picture.width; x++) {
            const uint8_t* p = row + x * (bits / 8);
            uint32_t alpha = bits == 32 ? p[3] : 255;
            picture.pixels.push_back(alpha << 24 | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0]);
        }
    }
    return picture;
}

int32_t test_load(int32_t number, const Bytes& file) {
    return image_load_memory(number, file.data(), (uint32_t)file.size());
}
