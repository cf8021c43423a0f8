// Area-averaging stretch. Along one axis, with g = gcd(source, target), measure in units
// where source pixel k spans [k*t, (k+1)*t) and target pixel i spans [i*s, (i+1)*s),
// with s = source/g and t = target/g: every overlap is then a whole number and the
// overlaps of one target pixel add up to s. The two axes are separable, so a target
// pixel is sum(wy * sum(wx * p)) / (sx * sy), rounded to nearest, halves up.
//
// The integer sums are exact in any order, so each case takes the cheap one. When the
// height shrinks, a target row's source rows are summed down into column sums (16-bit
// lanes where 255 * sy fits), and only those are summed across, a pixel's channels in
// one SSE2 register. When it grows, each source row is summed across once, and a target
// row blends at most two of those; a target row inside one source row is that row's
// sums rounded, made once and copied. The final rounding runs in float where that is
// exact (see Rounding).
//
// This file is compiled twice, with SSE2 and without, each compile's entry named by
// HALFTONE_PATH (image/halftone_paths.h); everything else stays inside the compile.
#include "image/halftone.h"
#include "image/halftone_paths.h"

#include <stdlib.h>
#include <string.h>

#include <type_traits>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "image/kept.h"

namespace {

// Where no target index touches more than two source indices (the axis grows), each
// target index as two taps, the second of weight 0 (on the first index) when it has one.
struct TapPair {
    int32_t first;
    int32_t second;
    uint16_t first_weight;
    uint16_t second_weight;
};

struct AxisWeights {
    int32_t* first;   // first source index of each target index
    int32_t* count;   // how many source indices follow it
    int32_t* offset;  // where its weights start in weights
    uint32_t* weights;
    uint32_t total;   // the sum of one target index's weights
    uint32_t whole;   // the weight of a source index wholly inside a target index
    TapPair* pairs;   // when every count is 1 or 2, else null
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
    free(axis->pairs);
}

bool axis_build(AxisWeights* axis, int32_t source, int32_t target) {
    int32_t g = gcd(source, target);
    int64_t s = source / g, t = target / g;
    axis->total = (uint32_t)s;
    axis->whole = (uint32_t)t;
    // Each target index touches at most s/t + 2 source indices.
    size_t room = (size_t)source + 2 * (size_t)target;
    axis->first = (int32_t*)malloc(sizeof(int32_t) * (size_t)target);
    axis->count = (int32_t*)malloc(sizeof(int32_t) * (size_t)target);
    axis->offset = (int32_t*)malloc(sizeof(int32_t) * (size_t)target);
    axis->weights = (uint32_t*)malloc(sizeof(uint32_t) * room);
    axis->pairs = s <= t ? (TapPair*)malloc(sizeof(TapPair) * (size_t)target) : 0;
    if (!axis->first || !axis->count || !axis->offset || !axis->weights ||
        (s <= t && !axis->pairs)) {
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
        // s <= t: a target pixel is no wider than a source pixel, so it touches one or two.
        if (axis->pairs) {
            bool two = last > first;
            axis->pairs[i].first = first;
            axis->pairs[i].second = two ? last : first;
            axis->pairs[i].first_weight = (uint16_t)axis->weights[axis->offset[i]];
            axis->pairs[i].second_weight = two ? (uint16_t)axis->weights[axis->offset[i] + 1] : 0;
        }
    }
    return true;
}

// Both axes' tables, or neither.
bool axes_build(AxisWeights* x, AxisWeights* y, int32_t source_width, int32_t target_width,
                int32_t source_height, int32_t target_height) {
    if (!axis_build(x, source_width, target_width)) return false;
    if (axis_build(y, source_height, target_height)) return true;
    axis_free(x);
    return false;
}

// floor((sum + divisor / 2) / divisor). In float when the divisor is below 2^14: with
// r = sum + divisor / 2 (below 2^23), (r + 0.5) / divisor has r / divisor's floor, lies
// at least 0.5 / divisor from any integer and below 256. r + 0.5 is exact; the scale and
// the product are each rounded to float, or on x87 to its wider format and maybe then to
// float, each within 2^-24 + 2^-64 of itself: together they move it by less than
// 256 * 2^-23 = 2^-15, which is at most 0.5 / divisor, so truncating is exact.
// Otherwise a double estimate off by at most one, corrected.
struct Rounding {
    uint64_t divisor;
    uint64_t half;
    double inverse;
    float offset;  // half + 0.5
    float scale;   // 1 / divisor
    bool in_float;
};

Rounding rounding_for(uint64_t divisor) {
    Rounding r;
    r.divisor = divisor;
    r.half = divisor / 2;
    r.inverse = 1.0 / (double)divisor;
    r.offset = (float)r.half + 0.5f;
    r.scale = 1.0f / (float)divisor;
    r.in_float = divisor < (1u << 14);
    return r;
}

template <typename Sum>
void divide_row(const Sum* sums, uint8_t* out, size_t values, const Rounding& r) {
    if (r.in_float) {
        for (size_t v = 0; v < values; v++)
            out[v] = (uint8_t)(int32_t)(((float)(int32_t)sums[v] + r.offset) * r.scale);
        return;
    }
    const Sum divisor = (Sum)r.divisor, half = (Sum)r.half;
    for (size_t v = 0; v < values; v++) {
        Sum n = sums[v] + half;
        Sum q = (Sum)((double)n * r.inverse);
        if (q * divisor > n) q--;
        else if ((q + 1) * divisor <= n) q++;
        out[v] = (uint8_t)q;
    }
}

// Lane types: 16 bits hold the sums of one axis while 255 times its total fits.
template <typename Lane>
bool lane_holds(uint32_t total) {
    return (uint64_t)total * 255 <= (Lane)~(Lane)0;
}

// Sums along x of target_width pixels, each from its run of Channels-byte pixels or of
// Channels-lane sums, into Sum lanes; two taps a pixel where the width grows.
template <int Channels, typename In, typename Sum>
void sum_across(const In* in, const AxisWeights& x, int32_t target_width, Sum* out) {
    if (x.pairs) {
        for (int32_t i = 0; i < target_width; i++, out += Channels) {
            const TapPair pair = x.pairs[i];
            const In* a = in + pair.first * Channels;
            const In* b = in + pair.second * Channels;
            const Sum w0 = pair.first_weight, w1 = pair.second_weight;
            for (int ch = 0; ch < Channels; ch++) out[ch] = (Sum)(w0 * a[ch] + w1 * b[ch]);
        }
        return;
    }
    for (int32_t i = 0; i < target_width; i++, out += Channels) {
        const In* pixel = in + (size_t)x.first[i] * Channels;
        const uint32_t* w = x.weights + x.offset[i];
        Sum sum[Channels];
        for (int ch = 0; ch < Channels; ch++) sum[ch] = (Sum)w[0] * pixel[ch];
        for (int32_t m = 1; m < x.count[i]; m++) {
            pixel += Channels;
            for (int ch = 0; ch < Channels; ch++) sum[ch] += (Sum)w[m] * pixel[ch];
        }
        for (int ch = 0; ch < Channels; ch++) out[ch] = sum[ch];
    }
}

#ifdef __SSE2__
// A pixel's 16-bit channels times a weight, as 32-bit lanes.
inline __m128i lanes_times(__m128i lanes, uint32_t weight) {
    const __m128i w = _mm_set1_epi16((short)weight);
    return _mm_unpacklo_epi16(_mm_mullo_epi16(lanes, w), _mm_mulhi_epu16(lanes, w));
}

inline __m128i lanes_at(const uint16_t* pixel) { return _mm_loadl_epi64((const __m128i*)pixel); }

// Column sums of at most column_most each, summed along x into 32-bit sums with a pixel's
// channels in one register. Four 16-bit lanes are read and four 32-bit lanes written,
// at 3 channels one past the last pixel (the buffers have room for it). The source
// indices wholly inside a target index all weigh x.whole: where their 16-bit sum cannot
// overflow they are added first and multiplied once, and only the two partial ends take
// weights of their own.
//
// Where every column sum, weight and inner sum fits 15 bits, the two ends are interleaved
// and weighed by one multiply-add, and the inner sum by another.
template <int Channels>
void sum_across_lanes(const uint16_t* in, const AxisWeights& x, int32_t target_width,
                      uint32_t column_most, uint32_t* out) {
    const bool inner_fits = (uint64_t)(x.total / x.whole) * column_most <= 65535;
    const bool signed_fits = column_most <= 32767 && x.whole <= 32767 &&
                             (uint64_t)(x.total / x.whole) * column_most <= 32767;
    if (signed_fits) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i whole = _mm_set1_epi32((int)x.whole);
        for (int32_t i = 0; i < target_width; i++, out += Channels) {
            const uint16_t* pixel = in + (size_t)x.first[i] * Channels;
            const uint32_t* w = x.weights + x.offset[i];
            const int32_t count = x.count[i];
            const uint16_t* last = pixel + (count - 1) * Channels;
            // Lanes of 16 bits: first end's weight, last end's weight, repeated.
            const uint32_t ends = w[0] | (count > 1 ? w[count - 1] << 16 : 0);
            __m128i sum = _mm_madd_epi16(_mm_unpacklo_epi16(lanes_at(pixel), lanes_at(last)),
                                         _mm_set1_epi32((int)ends));
            if (count > 2) {
                __m128i inner = lanes_at(pixel + Channels);
                for (const uint16_t* p = pixel + 2 * Channels; p < last; p += Channels)
                    inner = _mm_add_epi16(inner, lanes_at(p));
                sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(inner, zero), whole));
            }
            _mm_storeu_si128((__m128i*)out, sum);
        }
        return;
    }
    for (int32_t i = 0; i < target_width; i++, out += Channels) {
        const uint16_t* pixel = in + (size_t)x.first[i] * Channels;
        const uint32_t* w = x.weights + x.offset[i];
        const int32_t count = x.count[i];
        __m128i sum = lanes_times(lanes_at(pixel), w[0]);
        if (inner_fits) {
            if (count > 1)
                sum = _mm_add_epi32(sum, lanes_times(lanes_at(pixel + (count - 1) * Channels),
                                                     w[count - 1]));
            if (count > 2) {
                __m128i inner = lanes_at(pixel + Channels);
                for (int32_t m = 2; m < count - 1; m++)
                    inner = _mm_add_epi16(inner, lanes_at(pixel + m * Channels));
                sum = _mm_add_epi32(sum, lanes_times(inner, x.whole));
            }
        } else {
            for (int32_t m = 1; m < count; m++)
                sum = _mm_add_epi32(sum, lanes_times(lanes_at(pixel + m * Channels), w[m]));
        }
        _mm_storeu_si128((__m128i*)out, sum);
    }
}
#endif

// Column sums along x: in 16-bit lanes where the types allow, else plainly.
template <int Channels, typename Column, typename Sum>
void sum_columns_across(const Column* columns, const AxisWeights& x, int32_t target_width,
                        uint32_t column_most, Sum* sums) {
#ifdef __SSE2__
    if constexpr (std::is_same<Column, uint16_t>::value && std::is_same<Sum, uint32_t>::value) {
        if (!x.pairs) {
            sum_across_lanes<Channels>(columns, x, target_width, column_most, sums);
            return;
        }
    }
#endif
    (void)column_most;
    sum_across<Channels>(columns, x, target_width, sums);
}

// Column sums of count rows, each row's bytes times its weight. A weight fits 16 bits
// (no side exceeds 65535): 16 by 16 to 32-bit multiplies.
template <typename Column>
void sum_rows_down(const uint8_t* row, int32_t stride, const uint32_t* weights, int32_t count,
                   size_t values, Column* columns) {
    const uint16_t first_weight = (uint16_t)weights[0];
    for (size_t v = 0; v < values; v++)
        columns[v] = (Column)((Column)first_weight * (uint16_t)row[v]);
    for (int32_t k = 1; k < count; k++) {
        row += stride;
        const uint16_t weight = (uint16_t)weights[k];
        for (size_t v = 0; v < values; v++) columns[v] += (Column)((Column)weight * (uint16_t)row[v]);
    }
}

#ifdef __SSE2__
// 16-bit column sums: up to eight rows are summed in registers before a column is
// stored, and rows that all weigh 1 (a whole-number reduction) skip the multiplies.
template <>
void sum_rows_down<uint16_t>(const uint8_t* row, int32_t stride, const uint32_t* weights,
                             int32_t count, size_t values, uint16_t* columns) {
    enum { GROUP = 8 };
    const __m128i zero = _mm_setzero_si128();
    const size_t whole = values & ~(size_t)15;
    for (int32_t k0 = 0; k0 < count; k0 += GROUP) {
        const int32_t n = count - k0 < GROUP ? count - k0 : GROUP;
        const uint8_t* rows[GROUP];
        __m128i w[GROUP];
        bool ones = true;
        for (int32_t k = 0; k < n; k++) {
            rows[k] = row + (size_t)(k0 + k) * stride;
            w[k] = _mm_set1_epi16((short)weights[k0 + k]);
            ones = ones && weights[k0 + k] == 1;
        }
        for (size_t v = 0; v < whole; v += 16) {
            __m128i low = k0 ? _mm_loadu_si128((const __m128i*)(columns + v)) : zero;
            __m128i high = k0 ? _mm_loadu_si128((const __m128i*)(columns + v + 8)) : zero;
            for (int32_t k = 0; k < n; k++) {
                const __m128i bytes = _mm_loadu_si128((const __m128i*)(rows[k] + v));
                __m128i a = _mm_unpacklo_epi8(bytes, zero), b = _mm_unpackhi_epi8(bytes, zero);
                if (!ones) {
                    a = _mm_mullo_epi16(a, w[k]);
                    b = _mm_mullo_epi16(b, w[k]);
                }
                low = _mm_add_epi16(low, a);
                high = _mm_add_epi16(high, b);
            }
            _mm_storeu_si128((__m128i*)(columns + v), low);
            _mm_storeu_si128((__m128i*)(columns + v + 8), high);
        }
        for (size_t v = whole; v < values; v++) {
            uint16_t sum = k0 ? columns[v] : 0;
            for (int32_t k = 0; k < n; k++) sum += (uint16_t)(weights[k0 + k] * rows[k][v]);
            columns[v] = sum;
        }
    }
}
#endif

// When the height shrinks: for each target row, its source rows summed down into
// whole-width column sums (a tight loop over contiguous bytes), then across.
template <int Channels, typename Column, typename Sum>
int32_t stretch_down_first(const uint8_t* source, int32_t source_width, int32_t source_stride,
                           uint8_t* target, int32_t target_height, int32_t target_stride,
                           const AxisWeights& x, const AxisWeights& y, int32_t target_width,
                           const Rounding& rounding) {
    const size_t values = (size_t)source_width * Channels;
    const size_t out_values = (size_t)target_width * Channels;
    // One value of room past each row for the lanes of sum_across_lanes. The sums first,
    // so that the columns behind them keep their alignment.
    const size_t bytes = sizeof(Sum) * (out_values + 1) + sizeof(Column) * (values + 1);
    Sum* sums = (Sum*)image_malloc(bytes);
    if (!sums) return 0;
    Column* columns = (Column*)(sums + out_values + 1);
    columns[values] = 0;
    for (int32_t j = 0; j < target_height; j++) {
        sum_rows_down(source + (size_t)y.first[j] * source_stride, source_stride,
                      y.weights + y.offset[j], y.count[j], values, columns);
        sum_columns_across<Channels>(columns, x, target_width, 255 * y.total, sums);
        divide_row(sums, target + (size_t)j * target_stride, out_values, rounding);
    }
    free(sums);
    return 1;
}

// When the height grows: each source row summed across once (the two latest kept), and
// each target row from the one or two source rows it overlaps.
template <int Channels, typename Row, typename Sum>
int32_t stretch_across_first(const uint8_t* source, int32_t source_stride, uint8_t* target,
                             int32_t target_height, int32_t target_stride, const AxisWeights& x,
                             const AxisWeights& y, int32_t target_width,
                             const Rounding& rounding) {
    const size_t values = (size_t)target_width * Channels;
    // The sums and two rows summed across, in one block, the sums first for alignment.
    const size_t bytes = (sizeof(Sum) + 2 * sizeof(Row)) * values;
    Sum* sums = (Sum*)image_malloc(bytes);
    int32_t done = 0;
    if (sums) {
        Row* across[2] = {(Row*)(sums + values), (Row*)(sums + values) + values};
        int32_t held[2] = {-1, -1};     // the source row each slot holds
        const uint8_t* single = 0;      // the finished row of the latest one-row target row
        int32_t single_row = -1;
        for (int32_t j = 0; j < target_height; j++) {
            const int32_t first = y.first[j], count = y.count[j];
            const uint32_t* wy = y.weights + y.offset[j];
            uint8_t* out = target + (size_t)j * target_stride;
            if (count == 1 && first == single_row) {
                memcpy(out, single, values);
                continue;
            }
            const Row* rows[2] = {across[0], across[0]};
            for (int32_t k = 0; k < count; k++) {
                int32_t row = first + k;
                int32_t slot = held[0] == row ? 0 : held[1] == row ? 1 : -1;
                if (slot < 0) {
                    // Rows come in order: the slot of the lower row is free.
                    slot = held[0] < held[1] ? 0 : 1;
                    held[slot] = row;
                    sum_across<Channels>(source + (size_t)row * source_stride, x, target_width,
                                         across[slot]);
                }
                rows[k] = across[slot];
            }
            // Weights fit 16 bits: 16 by 16 to 32-bit multiplies.
            const uint16_t w0 = (uint16_t)wy[0];
            const Row* a = rows[0];
            if (count == 1) {
                for (size_t v = 0; v < values; v++) sums[v] = (Sum)w0 * a[v];
                single = out;
                single_row = first;
            } else {
                const uint16_t w1 = (uint16_t)wy[1];
                const Row* b = rows[1];
                for (size_t v = 0; v < values; v++) sums[v] = (Sum)w0 * a[v] + (Sum)w1 * b[v];
            }
            divide_row(sums, out, values, rounding);
        }
        done = 1;
    }
    free(sums);
    return done;
}

template <int Channels, typename Sum>
int32_t stretch_with(const uint8_t* source, int32_t source_width, int32_t source_height,
                     int32_t source_stride, uint8_t* target, int32_t target_width,
                     int32_t target_height, int32_t target_stride, const AxisWeights& x,
                     const AxisWeights& y, const Rounding& rounding) {
    if (target_height <= source_height) {
        if (lane_holds<uint16_t>(y.total))
            return stretch_down_first<Channels, uint16_t, Sum>(source, source_width, source_stride,
                                                               target, target_height, target_stride,
                                                               x, y, target_width, rounding);
        return stretch_down_first<Channels, uint32_t, Sum>(source, source_width, source_stride,
                                                           target, target_height, target_stride, x,
                                                           y, target_width, rounding);
    }
    if (lane_holds<uint16_t>(x.total))
        return stretch_across_first<Channels, uint16_t, Sum>(source, source_stride, target,
                                                             target_height, target_stride, x, y,
                                                             target_width, rounding);
    return stretch_across_first<Channels, uint32_t, Sum>(source, source_stride, target,
                                                         target_height, target_stride, x, y,
                                                         target_width, rounding);
}

}  // namespace

int32_t HALFTONE_PATH(const uint8_t* source, int32_t source_width, int32_t source_height,
                      int32_t source_stride, uint8_t* target, int32_t target_width,
                      int32_t target_height, int32_t target_stride, int32_t channels) {
    if (source_width < 1 || source_height < 1 || target_width < 1 || target_height < 1) return 0;
    // Weights are at most the shorter side of their axis and are multiplied as 16 bits.
    if (source_width > HALFTONE_LARGEST_SIDE || source_height > HALFTONE_LARGEST_SIDE ||
        target_width > HALFTONE_LARGEST_SIDE || target_height > HALFTONE_LARGEST_SIDE)
        return 0;
    if (channels != 3 && channels != 4) return 0;
    AxisWeights x = {}, y = {};
    if (!axes_build(&x, &y, source_width, target_width, source_height, target_height) &&
        (!image_kept_give_back() ||
         !axes_build(&x, &y, source_width, target_width, source_height, target_height)))
        return 0;
    const uint64_t divisor = (uint64_t)x.total * y.total;
    const Rounding rounding = rounding_for(divisor);
    // 32-bit sums while 255 * sx * sy and the rounding half stay below 2^31.
    const bool narrow = divisor <= (1u << 23);
    typedef int32_t (*Stretch)(const uint8_t*, int32_t, int32_t, int32_t, uint8_t*, int32_t,
                               int32_t, int32_t, const AxisWeights&, const AxisWeights&,
                               const Rounding&);
    Stretch stretch = channels == 3
                          ? (narrow ? stretch_with<3, uint32_t> : stretch_with<3, uint64_t>)
                          : (narrow ? stretch_with<4, uint32_t> : stretch_with<4, uint64_t>);
    int32_t done = stretch(source, source_width, source_height, source_stride, target, target_width,
                           target_height, target_stride, x, y, rounding);
    axis_free(&x);
    axis_free(&y);
    return done;
}
