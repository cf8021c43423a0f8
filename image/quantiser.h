// Palette quantisation for BMP files of 1, 4 and 8 bits per pixel. Platform-neutral.
//
// 1 bit: a black and white palette and a luminance threshold. 4 and 8 bits: a neural
// network learns 16 or 256 colours with alpha in a gamma-corrected space (gamma 1.8),
// with 64-bit floating-point neurons and colour distances weighted by the pixel's
// opacity; pixels are then mapped to the nearest palette colour, optionally with error
// diffusion. Working memory comes from memory_heap.
#ifndef VANTOREL_IMAGE_QUANTISER_H
#define VANTOREL_IMAGE_QUANTISER_H

#include <stdint.h>

enum {
    QUANTISER_DITHER = 256,  // option bit: error diffusion over a copy of the pixels
    NETWORK_MAX_SIZE = 256,
    NETWORK_RADIUS_ENTRIES = 33,
};

#define QUANTISER_GAMMA 1.8

struct Network {
    const uint8_t* pixels;
    uint32_t length;                           // bytes, 4 per pixel
    double neurons[NETWORK_MAX_SIZE][4];       // alpha, red, green, blue in gamma space
    int32_t green_index[256];                  // gamma-space green -> first neuron to search
    double bias[NETWORK_MAX_SIZE];
    double freq[NETWORK_MAX_SIZE];
    double radius_power[NETWORK_RADIUS_ENTRIES];  // entry 32 is always 0
    uint32_t size;                             // 16 or 256 neurons
    double gamma;
    double gamma_table[256];
    uint8_t search_colours[NETWORK_MAX_SIZE][4];  // blue, green, red, alpha in gamma space
};

struct Quantiser {
    uint8_t* pixels;  // packed working pixels, blue, green, red, alpha
    int32_t height;
    int32_t width;
    int32_t pixel_depth;
    int32_t options;
    int32_t target_depth;
    int32_t owns_pixels;
    uint8_t* row_buffer;  // width + 8 bytes
    Network* network;     // null at 1 bit
    double gamma;
    int32_t dither_error[4];  // blue, green, red, alpha carried into the next row
    uint8_t palette[256][4];  // blue, green, red, alpha
};

// pixels: rows pitch bytes apart, 24 or 32 bits each; target_depth 1, 4 or 8. The
// caller's pixels are only read. Null when memory cannot be had.
Quantiser* quantiser_create(const uint8_t* pixels, int32_t width, int32_t height,
                            int32_t pixel_depth, int32_t pitch, int32_t target_depth,
                            int32_t options);
// The packed palette indices of one row (row 0 is the first in memory). With dithering,
// rows must be asked for once each, in increasing order.
const uint8_t* quantiser_row(Quantiser* quantiser, int32_t row);
void quantiser_free(Quantiser* quantiser);

// Rows over 262144 pixels are sampled: one in this many pixels is learned from (1 to 10).
int32_t quantiser_sampling_factor(int32_t width, int32_t height);

// A gamma-space value back to an output byte, and an alpha to a byte.
int32_t unbias(double x, double gamma);
int32_t round_alpha(double x);

// The network's steps, in the order quantiser_create runs them.
Network* network_create(const uint8_t* pixels, uint32_t length, uint32_t size, double gamma);
void network_free(Network* network);
void network_learn(Network* network, int32_t sampling_factor);
int32_t network_contest(Network* network, const double sample[4]);
void network_alter_neighbours(Network* network, int32_t j, int32_t rad, const double sample[4]);
void network_build_index(Network* network);
// The palette index nearest to a pixel given as plain (not gamma-space) bytes.
int32_t network_search(const Network* network, int32_t alpha, int32_t red, int32_t green,
                       int32_t blue);

#endif
