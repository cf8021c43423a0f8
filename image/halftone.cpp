// Area-averaging stretch. Along one axis, with g = gcd(source, target), measure in units
// where source pixel k spans [k*t, (k+1)*t) and target pixel i spans [i*s, (i+1)*s),
// with s = source/g and t = target/g: every overlap is then a whole number and the
// overlaps of one target pixel add up to s. The two axes are separable, so a target
// pixel is sum(wy * sum(wx * p)) / (sx * sy), rounded to nearest.
#include "image/halftone.h"

#include <stdlib.h>
#include <string.h>

namespace {

struct AxisWeights {
    int32_t* first;   // first source index of each target index
    int32_t* count;   // how many source indices follow it
    int32_t* offset;  // where its weights start in weights
    uint32_t* weights;
    uint32_t total;   // the sum of one target index's weights
};

int32_t gcd(int32_t a, int32_t b) {
    while (b) {
        int32_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

void axis_free(AxisWeights* axis) {
    free(axis->first);
    free(axis->count);
    free(axis->offset);
    free(axis->weights);
}

bool axis_build(AxisWeights* axis, int32_t source, int32_t target) {
    int32_t g = gcd(source, target);
    int64_t s = source / g, t = target / g;
    axis->total = (uint32_t)s;
    // Each target index touches at most s/t + 2 source indices.
    size_t room = (size_t)source + 2 * (size_t)target;
    axis->first = (int32_t*)malloc(sizeof(int32_t) * (size_t)target);
    axis->count = (int32_t*)malloc(sizeof(int32_t) * (size_t)target);
    axis->offset = (int32_t*)malloc(sizeof(int32_t) * (size_t)target);
    axis->weights = (uint32_t*)malloc(sizeof(uint32_t) * room);
    if (!axis->first || !axis->count || !axis->offset || !axis->weights) {
        axis_free(axis);
        return false;
    }
    int32_t used = 0;
    for (int32_t i = 0; i < target; i++) {
        int64_t begin = i * s, end = (i + 1) * s;
        int32_t first = (int32_t)(begin / t);
        int32_t last = (int32_t)((end + t - 1) / t) - 1;
        axis->first[i] = first;
        axis->count[i] = last - first + 1;
        axis->offset[i] = used;
        for (int32_t k = first; k <= last; k++) {
            int64_t low = k * t > begin ? k * t : begin;
            int64_t high = (k + 1) * t < end ? (k + 1) * t : end;
            axis->weights[used++] = (uint32_t)(high - low);
        }
    }
    return true;
}

// One source row summed along x: target_width * channels sums, each at most 255 * sx.
void sum_row(const uint8_t* row, const AxisWeights& x, int32_t target_width, int32_t channels,
             uint32_t* out) {
    for (int32_t i = 0; i < target_width; i++) {
        const uint8_t* pixel = row + (size_t)x.first[i] * channels;
        const uint32_t* w = x.weights + x.offset[i];
        uint32_t sum[4] = {0, 0, 0, 0};
        for (int32_t k = 0; k < x.count[i]; k++, pixel += channels)
            for (int32_t ch = 0; ch < channels; ch++) sum[ch] += w[k] * pixel[ch];
        for (int32_t ch = 0; ch < channels; ch++) out[ch] = sum[ch];
        out += channels;
    }
}

// Rows summed along x, kept for the two most recent source rows: consecutive target
// rows share at most their boundary rows when reducing, and one or two rows when
// enlarging.
struct RowCache {
    uint32_t* rows[2];
    int32_t index[2];
    int32_t next;
};

const uint32_t* cached_row(RowCache* cache, const uint8_t* source, int32_t stride, int32_t row,
                           const AxisWeights& x, int32_t target_width, int32_t channels) {
    for (int32_t slot = 0; slot < 2; slot++)
        if (cache->index[slot] == row) return cache->rows[slot];
    int32_t slot = cache->next;
    cache->next ^= 1;
    cache->index[slot] = row;
    sum_row(source + (size_t)row * stride, x, target_width, channels, cache->rows[slot]);
    return cache->rows[slot];
}

// Rounds sum / divisor to nearest; the quotient is below 256, and the floating estimate
// is off by at most one.
template <typename Sum>
inline uint8_t divide_rounded(Sum sum, Sum divisor, Sum half, double inverse) {
    Sum r = sum + half;
    Sum q = (Sum)((double)r * inverse);
    if (q * divisor > r) q--;
    else if ((q + 1) * divisor <= r) q++;
    return (uint8_t)q;
}

// When the height grows: rows summed across (two kept), then summed down.
// Accumulator wide enough for 255 * sx * sy plus the rounding half.
template <typename Sum>
void stretch_rows(const uint8_t* source, int32_t source_stride, uint8_t* target,
                  int32_t target_height, int32_t target_stride, const AxisWeights& x,
                  const AxisWeights& y, int32_t target_width, int32_t channels, RowCache* cache,
                  Sum* acc) {
    const size_t values = (size_t)target_width * channels;
    const Sum divisor = (Sum)x.total * y.total;
    const Sum half = divisor / 2;
    const double inverse = 1.0 / (double)divisor;
    for (int32_t j = 0; j < target_height; j++) {
        memset(acc, 0, values * sizeof(Sum));
        const uint32_t* w = y.weights + y.offset[j];
        for (int32_t k = 0; k < y.count[j]; k++) {
            const uint32_t* row =
                cached_row(cache, source, source_stride, y.first[j] + k, x, target_width, channels);
            const Sum weight = w[k];
            for (size_t v = 0; v < values; v++) acc[v] += weight * row[v];
        }
        uint8_t* out = target + (size_t)j * target_stride;
        for (size_t v = 0; v < values; v++) out[v] = divide_rounded(acc[v], divisor, half, inverse);
    }
}

// When the height shrinks: each source row is read once, summed down into whole-width
// column sums for the target row it falls on (a tight loop over contiguous bytes), and
// only those sums are summed across.
template <typename Sum, int Channels>
void stretch_columns_first(const uint8_t* source, int32_t source_width, int32_t source_stride,
                           uint8_t* target, int32_t target_height, int32_t target_stride,
                           const AxisWeights& x, const AxisWeights& y, int32_t target_width,
                           uint32_t* columns) {
    const size_t values = (size_t)source_width * Channels;
    const Sum divisor = (Sum)x.total * y.total;
    const Sum half = divisor / 2;
    const double inverse = 1.0 / (double)divisor;
    for (int32_t j = 0; j < target_height; j++) {
        const uint32_t* wy = y.weights + y.offset[j];
        const uint8_t* row = source + (size_t)y.first[j] * source_stride;
        const uint32_t first_weight = wy[0];
        for (size_t v = 0; v < values; v++) columns[v] = first_weight * row[v];
        for (int32_t k = 1; k < y.count[j]; k++) {
            row += source_stride;
            const uint32_t weight = wy[k];
            for (size_t v = 0; v < values; v++) columns[v] += weight * row[v];
        }
        uint8_t* out = target + (size_t)j * target_stride;
        for (int32_t i = 0; i < target_width; i++, out += Channels) {
            const uint32_t* wx = x.weights + x.offset[i];
            const uint32_t* column = columns + (size_t)x.first[i] * Channels;
            Sum sum[Channels] = {};
            for (int32_t m = 0; m < x.count[i]; m++, column += Channels)
                for (int ch = 0; ch < Channels; ch++) sum[ch] += (Sum)wx[m] * column[ch];
            for (int ch = 0; ch < Channels; ch++) out[ch] = divide_rounded(sum[ch], divisor, half, inverse);
        }
    }
}

template <typename Sum>
int32_t shrink_height(const uint8_t* source, int32_t source_width, int32_t source_stride,
                      uint8_t* target, int32_t target_height, int32_t target_stride,
                      const AxisWeights& x, const AxisWeights& y, int32_t target_width,
                      int32_t channels) {
    uint32_t* columns = (uint32_t*)malloc(sizeof(uint32_t) * (size_t)source_width * channels);
    if (!columns) return 0;
    if (channels == 3)
        stretch_columns_first<Sum, 3>(source, source_width, source_stride, target, target_height,
                                      target_stride, x, y, target_width, columns);
    else
        stretch_columns_first<Sum, 4>(source, source_width, source_stride, target, target_height,
                                      target_stride, x, y, target_width, columns);
    free(columns);
    return 1;
}

}  // namespace

int32_t halftone_stretch(const uint8_t* source, int32_t source_width, int32_t source_height,
                         int32_t source_stride, uint8_t* target, int32_t target_width,
                         int32_t target_height, int32_t target_stride, int32_t channels) {
    if (source_width < 1 || source_height < 1 || target_width < 1 || target_height < 1) return 0;
    if (channels != 3 && channels != 4) return 0;
    AxisWeights x = {}, y = {};
    if (!axis_build(&x, source_width, target_width)) return 0;
    if (!axis_build(&y, source_height, target_height)) {
        axis_free(&x);
        return 0;
    }
    // 32-bit sums while 257 * sx * sy stays below 2^32, so the rounding checks fit too.
    const bool narrow = (uint64_t)x.total * y.total <= (1u << 23);
    if (target_height <= source_height) {
        int32_t done = narrow ? shrink_height<uint32_t>(source, source_width, source_stride, target,
                                                       target_height, target_stride, x, y,
                                                       target_width, channels)
                              : shrink_height<uint64_t>(source, source_width, source_stride, target,
                                                       target_height, target_stride, x, y,
                                                       target_width, channels);
        axis_free(&x);
        axis_free(&y);
        return done;
    }
    const size_t values = (size_t)target_width * channels;
    RowCache cache = {{(uint32_t*)malloc(values * 4), (uint32_t*)malloc(values * 4)}, {-1, -1}, 0};
    void* acc = malloc(values * (narrow ? 4 : 8));
    int32_t done = 0;
    if (cache.rows[0] && cache.rows[1] && acc) {
        if (narrow)
            stretch_rows(source, source_stride, target, target_height, target_stride, x, y,
                         target_width, channels, &cache, (uint32_t*)acc);
        else
            stretch_rows(source, source_stride, target, target_height, target_stride, x, y,
                         target_width, channels, &cache, (uint64_t*)acc);
        done = 1;
    }
    free(acc);
    free(cache.rows[0]);
    free(cache.rows[1]);
    axis_free(&x);
    axis_free(&y);
    return done;
}
