// The palette quantiser: a 1-bit luminance threshold, or a learned palette of 16 or 256
// colours with nearest-colour search and optional error diffusion.
//
// Neurons are (alpha, red, green, blue) in gamma space. Colour terms of every distance
// are weighted by the pixel's opacity w(a) = 1 - (1 - a/255)^2; the alpha term is not.
#include "image/quantiser.h"

#include <math.h>
#include <string.h>

#include "image/kept.h"
#include "runtime/memory.h"

enum { ALPHA = 0, RED = 1, GREEN = 2, BLUE = 3 };
// Byte positions in a pixel and in a search colour.
enum { PIXEL_BLUE = 0, PIXEL_GREEN = 1, PIXEL_RED = 2, PIXEL_ALPHA = 3 };

static const double FAR_AWAY = 1073741824.0;  // 2^30: larger than any distance

static double opacity_weight(int32_t alpha) {
    double t = 1.0 - alpha / 255.0;
    return 1.0 - t * t;
}

static int32_t clamp_byte(int32_t v) {
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

int32_t unbias(double x, double gamma) {
    if (x < 0) return 0;
    double v = floor(pow(x / 255.0, gamma) * 255.0 / 255.0 * 256.0);
    return v > 255 ? 255 : (int32_t)v;
}

int32_t round_alpha(double x) {
    if (x < 0) return 0;
    double v = floor(x / 255.0 * 256.0);
    return v > 255 ? 255 : (int32_t)v;
}

int32_t quantiser_sampling_factor(int32_t width, int32_t height) {
    int64_t factor = (int64_t)width * height / 262144 + 1;
    return factor > 10 ? 10 : (int32_t)factor;
}

// ---- the network ----

Network* network_create(const uint8_t* pixels, uint32_t length, uint32_t size, double gamma) {
    if (size == 0 || size > NETWORK_MAX_SIZE) return 0;
    Network* network = (Network*)image_memory_alloc((int32_t)sizeof(Network), 0);
    if (!network) return 0;
    network->pixels = pixels;
    network->length = length;
    network->size = size;
    network->gamma = gamma;
    for (int v = 0; v < 256; v++)
        network->gamma_table[v] = floor(255.0 * pow(v / 255.0, 1.0 / gamma) + 0.5);
    for (uint32_t i = 0; i < size; i++) {
        double grey = network->gamma_table[i * 256 / size];
        network->neurons[i][RED] = network->neurons[i][GREEN] = network->neurons[i][BLUE] = grey;
        network->neurons[i][ALPHA] = i < 16 ? 16.0 * i : 255.0;
        network->freq[i] = 1.0 / size;
        network->bias[i] = 0;
    }
    return network;
}

void network_free(Network* network) {
    if (network) memory_free(network);
}

static void move_neuron(double neuron[4], double amount, const double sample[4]) {
    for (int c = 0; c < 4; c++) neuron[c] -= amount * (neuron[c] - sample[c]);
}

int32_t network_contest(Network* network, const double sample[4]) {
    double best = FAR_AWAY, best_biased = FAR_AWAY;
    int32_t best_position = 0, best_biased_position = 0;
    double w = opacity_weight((int32_t)sample[ALPHA]);
    for (uint32_t i = 0; i < network->size; i++) {
        const double* n = network->neurons[i];
        double d = w * fabs(n[RED] - sample[RED]) + w * fabs(n[BLUE] - sample[BLUE]);
        if (d < best || d < best_biased + network->bias[i]) {
            d += w * fabs(n[GREEN] - sample[GREEN]) + fabs(n[ALPHA] - sample[ALPHA]);
            if (d < best) {
                best = d;
                best_position = (int32_t)i;
            }
            if (d < best_biased + network->bias[i]) {
                best_biased = d - network->bias[i];
                best_biased_position = (int32_t)i;
            }
        }
    }
    for (uint32_t i = 0; i < network->size; i++) {
        double f = network->freq[i] / 1024.0;
        network->freq[i] -= f;
        network->bias[i] += f * 1024.0;
    }
    network->freq[best_position] += 1.0 / 1024.0;
    network->bias[best_position] -= 1.0;
    return best_biased_position;
}

void network_alter_neighbours(Network* network, int32_t j, int32_t rad, const double sample[4]) {
    int32_t low = j - rad < 0 ? 0 : j - rad;
    int32_t high = j + rad > (int32_t)network->size - 1 ? (int32_t)network->size - 1 : j + rad;
    for (int32_t k = 1; j + k <= high || j - k >= low; k++) {
        double weight = network->radius_power[k] / 262144.0;
        if (j + k <= high) move_neuron(network->neurons[j + k], weight, sample);
        if (j - k >= low) move_neuron(network->neurons[j - k], weight, sample);
    }
}

// Successive samples lie a prime number of pixels apart; the prime must not divide the
// length, or the walk would revisit the same pixels.
static uint32_t learning_step(uint32_t length) {
    if (length % 499 != 0) return 4 * 499;
    if (length % 491 != 0) return 4 * 491;
    if (length % 487 != 0) return 4 * 487;
    return 4 * 503;
}

void network_learn(Network* network, int32_t sampling_factor) {
    int32_t alpha_decrement = 30 + (sampling_factor - 1) / 3;
    uint32_t samples = network->length / (4u * (uint32_t)sampling_factor);
    uint32_t delta = samples / 100;
    if (delta == 0) delta = 1;
    double rate = 1024.0;
    double radius = 32.0;
    int32_t rad = 32;
    for (int32_t d = 0; d < 32; d++) network->radius_power[d] = floor((1024 - d * d) * 256 / 1024 * 1024.0);
    network->radius_power[32] = 0;

    uint32_t step = learning_step(network->length);
    uint32_t position = 0;
    for (uint32_t i = 0; i < samples; i++) {
        const uint8_t* p = network->pixels + position;
        double sample[4] = {0, 0, 0, 0};
        if (p[PIXEL_ALPHA] != 0) {
            sample[ALPHA] = p[PIXEL_ALPHA];
            sample[RED] = network->gamma_table[p[PIXEL_RED]];
            sample[GREEN] = network->gamma_table[p[PIXEL_GREEN]];
            sample[BLUE] = network->gamma_table[p[PIXEL_BLUE]];
        }
        int32_t j = network_contest(network, sample);
        move_neuron(network->neurons[j], rate / 1024.0, sample);
        if (rad != 0) network_alter_neighbours(network, j, rad, sample);

        position += step;
        while (position >= network->length) position -= network->length;

        if ((i + 1) % delta == 0) {
            rate -= rate / alpha_decrement;
            radius -= radius / 30.0;
            rad = (int32_t)radius;
            if (rad <= 1) rad = 0;
            for (int32_t d = 0; d < rad; d++)
                network->radius_power[d] = floor(rate * ((rad * rad - d * d) * 256 / (rad * rad)));
        }
    }
}

static void swap_bytes4(uint8_t* a, uint8_t* b) {
    uint8_t t[4];
    memcpy(t, a, 4);
    memcpy(a, b, 4);
    memcpy(b, t, 4);
}

void network_build_index(Network* network) {
    int32_t size = (int32_t)network->size;
    for (int32_t i = 0; i < size; i++) {
        const double* n = network->neurons[i];
        uint8_t* s = network->search_colours[i];
        s[PIXEL_BLUE] = (uint8_t)network->gamma_table[unbias(n[BLUE], network->gamma)];
        s[PIXEL_GREEN] = (uint8_t)network->gamma_table[unbias(n[GREEN], network->gamma)];
        s[PIXEL_RED] = (uint8_t)network->gamma_table[unbias(n[RED], network->gamma)];
        s[PIXEL_ALPHA] = (uint8_t)round_alpha(n[ALPHA]);
    }
    // Selection sort by green; green_index[g] points into the middle of the run of g.
    int32_t previous = 0, start = 0;
    for (int32_t i = 0; i < size; i++) {
        int32_t smallest = i;
        for (int32_t k = i + 1; k < size; k++)
            if (network->search_colours[k][PIXEL_GREEN] < network->search_colours[smallest][PIXEL_GREEN])
                smallest = k;
        if (smallest != i) {
            double t[4];
            memcpy(t, network->neurons[i], sizeof t);
            memcpy(network->neurons[i], network->neurons[smallest], sizeof t);
            memcpy(network->neurons[smallest], t, sizeof t);
            swap_bytes4(network->search_colours[i], network->search_colours[smallest]);
        }
        int32_t green = network->search_colours[i][PIXEL_GREEN];
        if (green != previous) {
            network->green_index[previous] = (start + i) / 2;
            for (int32_t g = previous + 1; g < green; g++) network->green_index[g] = i;
            previous = green;
            start = i;
        }
    }
    network->green_index[previous] = (start + size - 1) / 2;
    for (int32_t g = previous + 1; g < 256; g++) network->green_index[g] = size - 1;
}

// Adds the terms of one entry's distance in the given order, giving up as soon as the
// sum is no longer below best. Returns false when the green term alone exceeds best:
// entries are sorted by green, so nothing further out on that side can be nearer.
static bool search_entry(const Network* network, int32_t i, const int32_t target[4], double w,
                         bool red_before_blue, double* best, int32_t* result) {
    const uint8_t* s = network->search_colours[i];
    double g = s[PIXEL_GREEN] - target[PIXEL_GREEN];
    double d = w * g * g;
    if (d > *best) return false;
    double b = s[PIXEL_BLUE] - target[PIXEL_BLUE];
    double r = s[PIXEL_RED] - target[PIXEL_RED];
    double a = s[PIXEL_ALPHA] - target[PIXEL_ALPHA];
    double first = red_before_blue ? r : b, second = red_before_blue ? b : r;
    d += w * first * first;
    if (d >= *best) return true;
    d += w * second * second;
    if (d >= *best) return true;
    d += a * a;
    if (d < *best) {
        *best = d;
        *result = i;
    }
    return true;
}

// Walks outwards from the entry indexed by the target's green, both ways at once. Each
// side stops on its own once its green term exceeds the best distance; the other side
// may still hold a nearer entry.
int32_t network_search(const Network* network, int32_t alpha, int32_t red, int32_t green,
                       int32_t blue) {
    int32_t target[4] = {0, 0, 0, alpha};
    if (alpha != 0) {
        target[PIXEL_BLUE] = (int32_t)network->gamma_table[blue];
        target[PIXEL_GREEN] = (int32_t)network->gamma_table[green];
        target[PIXEL_RED] = (int32_t)network->gamma_table[red];
    }
    double w = opacity_weight(alpha);
    double best = FAR_AWAY;
    int32_t result = 0;
    int32_t size = (int32_t)network->size;
    int32_t i = network->green_index[target[PIXEL_GREEN]];
    int32_t j = i - 1;
    while (i < size || j >= 0) {
        if (i < size) {
            if (search_entry(network, i, target, w, false, &best, &result))
                i++;
            else
                i = size;
        }
        if (j >= 0) {
            if (search_entry(network, j, target, w, true, &best, &result))
                j--;
            else
                j = -1;
        }
    }
    return result;
}

// ---- the quantiser ----

static void dither_row(Quantiser* q, int32_t row, uint8_t* indices) {
    uint8_t* current = q->pixels + (size_t)row * q->width * 4;
    uint8_t* next = row + 1 < q->height ? current + (size_t)q->width * 4 : current;
    int32_t e[4];
    memcpy(e, q->dither_error, sizeof e);
    for (int32_t x = 0; x < q->width; x++) {
        const uint8_t* p = current + x * 4;
        int32_t corrected[4];
        for (int c = 0; c < 4; c++) corrected[c] = clamp_byte(p[c] - e[c]);
        int32_t index = network_search(q->network, corrected[PIXEL_ALPHA], corrected[PIXEL_RED],
                                       corrected[PIXEL_GREEN], corrected[PIXEL_BLUE]);
        indices[x] = (uint8_t)index;

        const uint8_t* chosen = q->palette[index];
        int32_t m = chosen[PIXEL_ALPHA] > p[PIXEL_ALPHA] ? chosen[PIXEL_ALPHA] : p[PIXEL_ALPHA];
        int32_t f = 255 - (255 - m) * (255 - m) / 255;
        int32_t diff[4];
        for (int c = 0; c < 3; c++) diff[c] = (chosen[c] - p[c]) * f / 255;
        diff[PIXEL_ALPHA] = chosen[PIXEL_ALPHA] - p[PIXEL_ALPHA];
        int32_t limit = 0;
        for (int c = 0; c < 4; c++) limit += diff[c] * diff[c];
        limit *= 2;

        for (int c = 0; c < 4; c++) e[c] += diff[c];
        for (;;) {
            int32_t sum = 0;
            bool large = false;
            for (int c = 0; c < 4; c++) {
                sum += e[c] * e[c];
                if (e[c] * e[c] > 100) large = true;
            }
            if (!large && sum <= limit && sum <= 200) break;
            for (int c = 0; c < 4; c++) e[c] /= 2;
        }

        for (int c = 0; c < 4; c++) {
            if (x > 0) next[(x - 1) * 4 + c] = (uint8_t)clamp_byte(next[(x - 1) * 4 + c] - 3 * e[c] / 16);
            if (x + 1 < q->width) next[(x + 1) * 4 + c] = (uint8_t)clamp_byte(next[(x + 1) * 4 + c] - e[c] / 16);
            next[x * 4 + c] = (uint8_t)clamp_byte(next[x * 4 + c] - 5 * e[c] / 16);
        }
    }
    for (int c = 0; c < 4; c++) q->dither_error[c] = 7 * e[c] / 16;
}

// Packs width indices of target_depth bits in place, first pixel in the high bits, and
// clears the rest of the last 4-byte group so that row padding is always zero.
static void pack_row(uint8_t* buffer, int32_t width, int32_t depth) {
    int32_t per_byte = 8 / depth;
    int32_t packed = (width + per_byte - 1) / per_byte;
    if (depth != 8) {
        for (int32_t k = 0; k < packed; k++) {
            uint8_t byte = 0;
            for (int32_t n = 0; n < per_byte; n++)
                byte = (uint8_t)((byte << depth) | (buffer[k * per_byte + n] & ((1 << depth) - 1)));
            buffer[k] = byte;
        }
    }
    int32_t padded = (packed + 3) / 4 * 4;
    memset(buffer + packed, 0, (size_t)(padded - packed));
}

const uint8_t* quantiser_row(Quantiser* q, int32_t row) {
    const uint8_t* p = q->pixels + (size_t)row * q->width * 4;
    uint8_t* indices = q->row_buffer;
    if (q->target_depth == 1) {
        for (int32_t x = 0; x < q->width; x++, p += 4) {
            double luminance = 0.2126 * p[PIXEL_RED] + 0.7152 * p[PIXEL_GREEN] + 0.0722 * p[PIXEL_BLUE];
            indices[x] = luminance > 160 ? 1 : 0;
        }
    } else if (q->options & QUANTISER_DITHER) {
        dither_row(q, row, indices);
    } else {
        for (int32_t x = 0; x < q->width; x++, p += 4)
            indices[x] = (uint8_t)network_search(q->network, p[PIXEL_ALPHA], p[PIXEL_RED],
                                                 p[PIXEL_GREEN], p[PIXEL_BLUE]);
    }
    pack_row(indices, q->width, q->target_depth);
    return indices;
}

void quantiser_free(Quantiser* q) {
    if (!q) return;
    if (q->owns_pixels) memory_free(q->pixels);
    network_free(q->network);
    memory_free(q->row_buffer);
    memory_free(q);
}

// The caller's pixels as packed 32-bit pixels: a copy when they are 24-bit, padded, or
// when dithering will write into them; else the caller's own memory, then only read.
static bool take_pixels(Quantiser* q, const uint8_t* pixels, int32_t pitch) {
    bool copy = q->pixel_depth == 24 || (q->options & QUANTISER_DITHER) || pitch != q->width * 4;
    if (!copy) {
        q->pixels = (uint8_t*)pixels;
        return true;
    }
    q->pixels = (uint8_t*)image_memory_alloc(q->width * q->height * 4, MEMORY_NO_CLEAR);
    if (!q->pixels) return false;
    q->owns_pixels = 1;
    uint8_t* out = q->pixels;
    for (int32_t y = 0; y < q->height; y++) {
        const uint8_t* in = pixels + (size_t)y * pitch;
        if (q->pixel_depth == 24) {
            for (int32_t x = 0; x < q->width; x++, in += 3, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = 255;
            }
        } else {
            memcpy(out, in, (size_t)q->width * 4);
            out += (size_t)q->width * 4;
        }
    }
    return true;
}

Quantiser* quantiser_create(const uint8_t* pixels, int32_t width, int32_t height,
                            int32_t pixel_depth, int32_t pitch, int32_t target_depth,
                            int32_t options) {
    if (width <= 0 || height <= 0 || (pixel_depth != 24 && pixel_depth != 32) ||
        (target_depth != 1 && target_depth != 4 && target_depth != 8))
        return 0;
    // Every size below (pixels, network length, row buffer) fits in 32 bits from here on.
    if ((int64_t)width * height * 4 > INT32_MAX) return 0;
    Quantiser* q = (Quantiser*)image_memory_alloc((int32_t)sizeof(Quantiser), 0);
    if (!q) return 0;
    q->gamma = QUANTISER_GAMMA;
    q->width = width;
    q->height = height;
    q->pixel_depth = pixel_depth;
    q->target_depth = target_depth;
    q->options = options;
    int32_t sampling = quantiser_sampling_factor(width, height);
    if (!take_pixels(q, pixels, pitch)) {
        quantiser_free(q);
        return 0;
    }
    q->row_buffer = (uint8_t*)image_memory_alloc(width + 8, 0);
    if (!q->row_buffer) {
        quantiser_free(q);
        return 0;
    }
    if (target_depth == 1) {
        static const uint8_t black_and_white[2][4] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        memcpy(q->palette, black_and_white, sizeof black_and_white);
        return q;
    }
    q->network = network_create(q->pixels, (uint32_t)width * (uint32_t)height * 4,
                                1u << target_depth, q->gamma);
    if (!q->network) {
        quantiser_free(q);
        return 0;
    }
    network_learn(q->network, sampling);
    network_build_index(q->network);
    for (uint32_t i = 0; i < q->network->size; i++) {
        const double* n = q->network->neurons[i];
        q->palette[i][PIXEL_BLUE] = (uint8_t)unbias(n[BLUE], q->gamma);
        q->palette[i][PIXEL_GREEN] = (uint8_t)unbias(n[GREEN], q->gamma);
        q->palette[i][PIXEL_RED] = (uint8_t)unbias(n[RED], q->gamma);
        q->palette[i][PIXEL_ALPHA] = (uint8_t)round_alpha(n[ALPHA]);
    }
    return q;
}
