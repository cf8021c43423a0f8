// Bicubic resampling. Contribution tables are built once per pass and reused for every
// line; when reducing, the kernel is stretched by the scale so that it also low-passes.
#include "image/resample.h"

#include <math.h>
#include <stdlib.h>

#include "image/kept.h"

double mitchell_p0, mitchell_p2, mitchell_p3;
double mitchell_q0, mitchell_q1, mitchell_q2, mitchell_q3;

static const double KERNEL_SUPPORT = 2.0;
enum { MAX_CHANNELS = 4 };

void mitchell_setup(double b, double c) {
    mitchell_p0 = (6 - 2 * b) / 6;
    mitchell_p2 = (-18 + 12 * b + 6 * c) / 6;
    mitchell_p3 = (12 - 9 * b - 6 * c) / 6;
    mitchell_q0 = (8 * b + 24 * c) / 6;
    mitchell_q1 = (-12 * b - 48 * c) / 6;
    mitchell_q2 = (6 * b + 30 * c) / 6;
    mitchell_q3 = (-b - 6 * c) / 6;
}

double mitchell_filter(double x) {
    double a = fabs(x);
    if (a < 1) return (mitchell_p3 * a + mitchell_p2) * a * a + mitchell_p0;
    if (a < 2) return ((mitchell_q3 * a + mitchell_q2) * a + mitchell_q1) * a + mitchell_q0;
    return 0;
}

void resample_contributions_free(Contribution* table, int32_t target_length) {
    if (!table) return;
    for (int32_t i = 0; i < target_length; i++) free(table[i].weights);
    free(table);
}

Contribution* resample_contributions(int32_t target_length, int32_t source_length) {
    if (target_length < 1 || source_length < 1) return 0;
    mitchell_setup(1.0 / 3, 1.0 / 3);
    double scale = (double)target_length / source_length;
    double radius = KERNEL_SUPPORT, stretch = 1;
    if (scale < 1) {
        radius = KERNEL_SUPPORT / scale;
        stretch = scale;
    }
    // A window never holds more than the whole source: no room beyond that is needed.
    double taps_wide = 2 * ceil(radius) + 1;
    int32_t taps = taps_wide < source_length + 2.0 ? (int32_t)taps_wide : source_length + 2;

    Contribution* table = (Contribution*)calloc((size_t)target_length, sizeof(Contribution));
    if (!table) return 0;
    for (int32_t i = 0; i < target_length; i++) {
        table[i].weights = (double*)malloc(sizeof(double) * (size_t)taps);
        if (!table[i].weights) {
            resample_contributions_free(table, target_length);
            return 0;
        }
    }
    for (int32_t i = 0; i < target_length; i++) {
        // (i + 0.5) / scale - 0.5: the target pixel's centre in source coordinates.
        double centre = i / scale + (0.5 / scale - 0.5);
        double low = floor(centre - radius), high = ceil(centre + radius);
        int32_t first = low < 0 ? 0 : (int32_t)low;
        int32_t last = high > source_length - 1 ? source_length - 1 : (int32_t)high;
        if (last - first + 1 > taps) first++;
        Contribution* c = &table[i];
        c->first = first;
        c->last = last;
        double sum = 0;
        for (int32_t k = first; k <= last; k++) {
            double weight = mitchell_filter((centre - k) * stretch) * stretch;
            c->weights[k - first] = weight;
            sum += weight;
        }
        // Restores unit gain where the edge cut the window.
        if (sum > 0 && sum != 1)
            for (int32_t k = first; k <= last; k++) c->weights[k - first] /= sum;
    }
    return table;
}

static uint8_t to_byte(double value) {
    int32_t v = (int32_t)(value + 0.5);
    return v < 0 ? 0 : v >= 255 ? 255 : (uint8_t)v;
}

// One pass along an axis: line n starts n * line_bytes into its buffer, and pixels along
// the axis lie step bytes apart.
static int32_t resample_axis(const uint8_t* source, int32_t source_length,
                             int32_t source_line_bytes, int32_t source_step, uint8_t* target,
                             int32_t target_length, int32_t target_line_bytes,
                             int32_t target_step, int32_t lines, int32_t channels) {
    if (channels < 1 || channels > MAX_CHANNELS) return 0;
    Contribution* table = resample_contributions(target_length, source_length);
    if (!table && image_kept_give_back()) table = resample_contributions(target_length, source_length);
    if (!table) return 0;
    for (int32_t line = 0; line < lines; line++) {
        const uint8_t* in = source + (size_t)line * source_line_bytes;
        uint8_t* out = target + (size_t)line * target_line_bytes;
        for (int32_t i = 0; i < target_length; i++) {
            const Contribution* c = &table[i];
            double sum[MAX_CHANNELS] = {0, 0, 0, 0};
            for (int32_t k = c->first; k <= c->last; k++) {
                double weight = c->weights[k - c->first];
                const uint8_t* pixel = in + (size_t)k * source_step;
                for (int32_t ch = 0; ch < channels; ch++) sum[ch] += weight * pixel[ch];
            }
            uint8_t* pixel = out + (size_t)i * target_step;
            for (int32_t ch = 0; ch < channels; ch++) pixel[ch] = to_byte(sum[ch]);
        }
    }
    resample_contributions_free(table, target_length);
    return 1;
}

int32_t resample_rows(int32_t row_count, const uint8_t* source, int32_t source_length,
                      uint8_t* target, int32_t target_length, int32_t channels) {
    return resample_axis(source, source_length, source_length * channels, channels, target,
                         target_length, target_length * channels, channels, row_count, channels);
}

int32_t resample_columns(const uint8_t* source, int32_t source_row_length, int32_t source_length,
                         uint8_t* target, int32_t column_count, int32_t target_length,
                         int32_t channels) {
    return resample_axis(source, source_length, channels, source_row_length * channels, target,
                         target_length, channels, column_count * channels, column_count, channels);
}

int32_t resample_2d(int32_t bits_per_pixel, const uint8_t* source, int32_t source_width,
                    int32_t source_height, uint8_t* target, int32_t target_width,
                    int32_t target_height) {
    int32_t channels = bits_per_pixel / 8;
    if (source_width < 1 || source_height < 1 || target_width < 1 || target_height < 1) return 0;
    bool rows_first =
        (int64_t)source_height * target_width <= (int64_t)source_width * target_height;
    int64_t pixels = rows_first ? (int64_t)target_width * source_height
                                : (int64_t)source_width * target_height;
    if (pixels * channels > 0x7FFFFFFF) return 0;
    uint8_t* middle = (uint8_t*)image_malloc((size_t)(pixels * channels));
    if (!middle) return 0;
    int32_t done;
    if (rows_first) {
        done = resample_rows(source_height, source, source_width, middle, target_width,
                             channels) &&
               resample_columns(middle, target_width, source_height, target, target_width,
                                target_height, channels);
    } else {
        done = resample_columns(source, source_width, source_height, middle, source_width,
                                target_height, channels) &&
               resample_rows(target_height, middle, source_width, target, target_width,
                             channels);
    }
    free(middle);
    return done;
}
