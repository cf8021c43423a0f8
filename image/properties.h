// What a picture carries beside its pixels that tells a viewer how to show them: its
// colour profile and its Exif orientation. Nothing else travels: no camera data, time,
// position, thumbnail or comment.
//
// The plug-in records keep their layouts, so the properties go beside them. A decoder
// publishes what it found in image_properties_decoded at the end of a successful decode
// and drops it in finish if no one took it; the image library takes it in between and
// keeps it under the image number it loaded into until the number is freed or loaded
// again, and points image_properties_saving at it while an encoder writes that image.
// Platform-neutral: the codecs use it in both builds.
#ifndef VANTOREL_IMAGE_PROPERTIES_H
#define VANTOREL_IMAGE_PROPERTIES_H

#include <stdint.h>

enum {
    IMAGE_ORIENTATION_NONE = 0,  // upright, or no orientation known
    IMAGE_ICC_HEADER_SIZE = 128,
    IMAGE_ICC_LARGEST = 255 * 65519,  // what 255 APP2 chunks hold
    IMAGE_EXIF_SEGMENT_SIZE = 32,  // the APP1 payload image_exif_segment writes
};

// One block of memory_heap: the record, then profile_size bytes of the ICC profile.
struct ImageProperties {
    ImageProperties* next;  // the library's chain of numbered images
    int32_t number;
    int32_t orientation;    // Exif orientation 2 to 8, or IMAGE_ORIENTATION_NONE
    uint32_t profile_size;  // 0: no profile
};

// The current load's, set by decode; taken by the library before finish.
extern ImageProperties* image_properties_decoded;
// The current save's, for the encoder to write; null: nothing to write.
extern const ImageProperties* image_properties_saving;

// What may be carried of an orientation and a profile: an orientation of 2 to 8, a
// profile of RGB data (a CMYK or grey one would misdescribe the decoder's RGB pixels).
// Null when nothing may be carried. *failed is set when memory could not be had.
ImageProperties* image_properties_new(int32_t orientation, const uint8_t* profile,
                                      uint32_t profile_size, bool* failed);
void image_properties_free(ImageProperties* properties);
inline const uint8_t* image_properties_profile(const ImageProperties* properties) {
    return (const uint8_t*)(properties + 1);
}

// Gives the number these properties (null: none), dropping what it had.
void image_properties_keep(int32_t number, ImageProperties* properties);
// The number's properties, or null.
const ImageProperties* image_properties_of(int32_t number);
// Drops every number's, and what a decoder left unclaimed.
void image_properties_drop_all(void);

// The Orientation (1 to 8) in the first IFD of an APP1 payload ("Exif\0\0", then a
// TIFF header in either byte order); 0 when the tag is missing, is not a single short
// of 1 to 8, or the segment is malformed. Every offset and count is checked against the payload,
// and no IFD beyond the first is read.
int32_t image_exif_orientation(const uint8_t* data, uint32_t size);
// The smallest APP1 payload that holds this orientation and nothing else.
void image_exif_segment(int32_t orientation, uint8_t out[IMAGE_EXIF_SEGMENT_SIZE]);

#endif
