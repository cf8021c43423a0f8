// The properties that travel with a picture: the chain kept per image number, and the
// Exif orientation read from untrusted bytes and written as the smallest segment.
#include "image/properties.h"

#include <string.h>

#include "image/kept.h"
#include "runtime/memory.h"

ImageProperties* image_properties_decoded;
const ImageProperties* image_properties_saving;

static ImageProperties* numbered;  // one record per image number that has any

ImageProperties* image_properties_new(int32_t orientation, const uint8_t* profile,
                                      uint32_t profile_size, bool* failed) {
    *failed = false;
    if (orientation < 2 || orientation > 8) orientation = IMAGE_ORIENTATION_NONE;
    // Bytes 16 to 19 of the header name the colour space of the data the profile describes.
    bool rgb = profile && profile_size >= IMAGE_ICC_HEADER_SIZE &&
               profile_size <= IMAGE_ICC_LARGEST &&
               memcmp(profile + 16, "RGB ", 4) == 0;
    if (!rgb) profile_size = 0;
    if (orientation == IMAGE_ORIENTATION_NONE && !profile_size) return 0;
    ImageProperties* properties = (ImageProperties*)image_memory_alloc(
        (int32_t)(sizeof(ImageProperties) + profile_size), MEMORY_NO_CLEAR);
    if (!properties) {
        *failed = true;
        return 0;
    }
    *properties = ImageProperties{0, 0, orientation, profile_size};
    if (profile_size) memcpy(properties + 1, profile, profile_size);
    return properties;
}

void image_properties_free(ImageProperties* properties) {
    if (properties) memory_free(properties);
}

void image_properties_keep(int32_t number, ImageProperties* properties) {
    for (ImageProperties** link = &numbered; *link; link = &(*link)->next) {
        if ((*link)->number != number) continue;
        ImageProperties* old = *link;
        *link = old->next;
        image_properties_free(old);
        break;
    }
    if (!properties) return;
    properties->number = number;
    properties->next = numbered;
    numbered = properties;
}

const ImageProperties* image_properties_of(int32_t number) {
    for (ImageProperties* properties = numbered; properties; properties = properties->next)
        if (properties->number == number) return properties;
    return 0;
}

void image_properties_drop_all(void) {
    while (numbered) image_properties_keep(numbered->number, 0);
    image_properties_free(image_properties_decoded);
    image_properties_decoded = 0;
}

namespace {

const uint8_t EXIF_NAME[6] = {'E', 'x', 'i', 'f', 0, 0};
enum { TIFF_HEADER = 8, IFD_ENTRY = 12, TAG_ORIENTATION = 0x0112, TYPE_SHORT = 3 };

struct TiffReader {
    const uint8_t* data;
    uint32_t size;
    bool motorola;  // big-endian ("MM"); else little-endian ("II")

    uint32_t u16(uint32_t at) const {
        return motorola ? (uint32_t)data[at] << 8 | data[at + 1]
                        : (uint32_t)data[at + 1] << 8 | data[at];
    }
    uint32_t u32(uint32_t at) const {
        return motorola ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at);
    }
};

}  // namespace

int32_t image_exif_orientation(const uint8_t* data, uint32_t size) {
    if (!data || size < sizeof EXIF_NAME + TIFF_HEADER || memcmp(data, EXIF_NAME, 6) != 0) return 0;
    TiffReader tiff = {data + sizeof EXIF_NAME, size - (uint32_t)sizeof EXIF_NAME, false};
    if (tiff.data[0] == 'M' && tiff.data[1] == 'M') tiff.motorola = true;
    else if (tiff.data[0] != 'I' || tiff.data[1] != 'I') return 0;
    if (tiff.u16(2) != 42) return 0;
    // The first IFD and all its entries must lie inside the segment; its link to a
    // next IFD is never followed.
    uint64_t ifd = tiff.u32(4);
    if (ifd < TIFF_HEADER || ifd + 2 > tiff.size) return 0;
    uint32_t entries = tiff.u16((uint32_t)ifd);
    if (ifd + 2 + (uint64_t)entries * IFD_ENTRY > tiff.size) return 0;
    for (uint32_t i = 0; i < entries; i++) {
        uint32_t entry = (uint32_t)ifd + 2 + i * IFD_ENTRY;
        if (tiff.u16(entry) != TAG_ORIENTATION) continue;
        // One short, held in the first two bytes of the value field.
        if (tiff.u16(entry + 2) != TYPE_SHORT || tiff.u32(entry + 4) != 1) return 0;
        uint32_t orientation = tiff.u16(entry + 8);
        return orientation >= 1 && orientation <= 8 ? (int32_t)orientation : 0;
    }
    return 0;
}

void image_exif_segment(int32_t orientation, uint8_t out[IMAGE_EXIF_SEGMENT_SIZE]) {
    // Big-endian TIFF header, first IFD at 8 with the one entry, no next IFD.
    static const uint8_t segment[IMAGE_EXIF_SEGMENT_SIZE] = {
        'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,
        0, 1, 0x01, 0x12, 0, TYPE_SHORT, 0, 0, 0, 1, 0, 0, 0, 0,
        0, 0, 0, 0};
    memcpy(out, segment, sizeof segment);
    out[25] = (uint8_t)orientation;
}
