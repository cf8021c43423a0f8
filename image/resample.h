// The separable bicubic resampler (Mitchell-Netravali, B = C = 1/3) on packed pixel
// rows, one accumulator per channel, 64-bit floating point, one rounding per pass.
#ifndef VANTOREL_IMAGE_RESAMPLE_H
#define VANTOREL_IMAGE_RESAMPLE_H

#include <stdint.h>

// The weights of one output position of one pass, for source indices first..last.
struct Contribution {
    double* weights;  // room for the table's taps; last - first + 1 are used
    int32_t first;
    int32_t last;
};

// Kernel coefficients, process-wide, rewritten by every table build.
extern double mitchell_p0, mitchell_p2, mitchell_p3;
extern double mitchell_q0, mitchell_q1, mitchell_q2, mitchell_q3;

void mitchell_setup(double b, double c);
double mitchell_filter(double x);

// One Contribution per target position, or null when memory cannot be had.
Contribution* resample_contributions(int32_t target_length, int32_t source_length);
void resample_contributions_free(Contribution* table, int32_t target_length);

// Horizontal pass: row_count rows of source_length pixels to target_length pixels.
// Returns 1, or 0 when its table cannot be built (nothing is written then).
int32_t resample_rows(int32_t row_count, const uint8_t* source, int32_t source_length,
                      uint8_t* target, int32_t target_length, int32_t channels);
// Vertical pass: column_count columns of source_length pixels (rows of
// source_row_length pixels) to target_length pixels, in rows of column_count pixels.
int32_t resample_columns(const uint8_t* source, int32_t source_row_length, int32_t source_length,
                         uint8_t* target, int32_t column_count, int32_t target_length,
                         int32_t channels);

// Both passes, the smaller intermediate image first (ties: horizontal first).
// Returns 1, or 0 when memory cannot be had.
int32_t resample_2d(int32_t bits_per_pixel, const uint8_t* source, int32_t source_width,
                    int32_t source_height, uint8_t* target, int32_t target_width,
                    int32_t target_height);

#endif
