// The quantiser read step by step, one function per step, in the simplest form.
#include "tests/support/quantiser_reference.h"

#include <math.h>
#include <string.h>

#include <algorithm>

namespace {

const double GAMMA = 1.8;
const double FAR = 1073741824.0;  // 2^30
enum { A, R, G, B };              // neuron components

struct Net {
    const uint8_t* pixels;
    int length;
    int size;
    double neuron[256][4];  // alpha, red, green, blue
    double bias[256], freq[256], radius_power[33], gamma_table[256];
    int green_index[256];
    uint8_t colour[256][4];  // blue, green, red, alpha
};

int unbias(double x) {
    if (x < 0) return 0;
    double v = floor(pow(x / 255, GAMMA) * 255 / 255 * 256);
    return v > 255 ? 255 : (int)v;
}

int round_alpha(double x) {
    if (x < 0) return 0;
    double v = floor(x / 255 * 256);
    return v > 255 ? 255 : (int)v;
}

double weight(int alpha) {
    double t = 1 - alpha / 255.0;
    return 1 - t * t;
}

void move(double* neuron, double amount, const double* sample) {
    for (int c = 0; c < 4; c++) neuron[c] = neuron[c] - amount * (neuron[c] - sample[c]);
}

int contest(Net& n, const double* s) {
    double best = FAR, best_biased = FAR, w = weight((int)s[A]);
    int best_at = 0, best_biased_at = 0;
    for (int i = 0; i < n.size; i++) {
        const double* c = n.neuron[i];
        double d = w * fabs(c[R] - s[R]) + w * fabs(c[B] - s[B]);
        if (d < best || d < best_biased + n.bias[i]) {
            d = d + w * fabs(c[G] - s[G]) + fabs(c[A] - s[A]);
            if (d < best) {
                best = d;
                best_at = i;
            }
            if (d < best_biased + n.bias[i]) {
                best_biased = d - n.bias[i];
                best_biased_at = i;
            }
        }
    }
    for (int i = 0; i < n.size; i++) {
        double f = n.freq[i] / 1024;
        n.freq[i] = n.freq[i] - f;
        n.bias[i] = n.bias[i] + f * 1024;
    }
    n.freq[best_at] += 1.0 / 1024;
    n.bias[best_at] -= 1;
    return best_biased_at;
}

void alter_neighbours(Net& n, int j, int rad, const double* s) {
    int low = std::max(0, j - rad), high = std::min(n.size - 1, j + rad);
    for (int k = 1; j + k <= high || j - k >= low; k++) {
        double amount = n.radius_power[k] / 262144;
        if (j + k <= high) move(n.neuron[j + k], amount, s);
        if (j - k >= low) move(n.neuron[j - k], amount, s);
    }
}

void learn(Net& n, int factor) {
    int alpha_decrement = 30 + (factor - 1) / 3;
    int samples = n.length / (4 * factor);
    int delta = samples / 100 ? samples / 100 : 1;
    double rate = 1024.0, radius = 32.0;
    int rad = 32;
    for (int d = 0; d < 32; d++) n.radius_power[d] = floor(((1024 - d * d) * 256 / 1024) * 1024.0);
    n.radius_power[32] = 0;
    int step = n.length % 499 ? 1996 : n.length % 491 ? 1964 : n.length % 487 ? 1948 : 2012;
    int at = 0;
    for (int i = 0; i < samples; i++) {
        const uint8_t* p = n.pixels + at;  // blue, green, red, alpha
        double s[4] = {0, 0, 0, 0};
        if (p[3]) {
            s[A] = p[3];
            s[R] = n.gamma_table[p[2]];
            s[G] = n.gamma_table[p[1]];
            s[B] = n.gamma_table[p[0]];
        }
        int j = contest(n, s);
        move(n.neuron[j], rate / 1024, s);
        if (rad) alter_neighbours(n, j, rad, s);
        at += step;
        while (at >= n.length) at -= n.length;
        if ((i + 1) % delta == 0) {
            rate = rate - rate / alpha_decrement;
            radius = radius - radius / 30;
            rad = (int)radius;
            if (rad <= 1) rad = 0;
            for (int d = 0; d < rad; d++)
                n.radius_power[d] = floor(rate * ((rad * rad - d * d) * 256 / (rad * rad)));
        }
    }
}

void build_index(Net& n) {
    for (int i = 0; i < n.size; i++) {
        const double* c = n.neuron[i];
        n.colour[i][0] = (uint8_t)n.gamma_table[unbias(c[B])];
        n.colour[i][1] = (uint8_t)n.gamma_table[unbias(c[G])];
        n.colour[i][2] = (uint8_t)n.gamma_table[unbias(c[R])];
        n.colour[i][3] = (uint8_t)round_alpha(c[A]);
    }
    int previous = 0, start = 0;
    for (int i = 0; i < n.size; i++) {
        int smallest = i;
        for (int k = i + 1; k < n.size; k++)
            if (n.colour[k][1] < n.colour[smallest][1]) smallest = k;
        if (smallest != i) {
            for (int c = 0; c < 4; c++) {
                std::swap(n.neuron[i][c], n.neuron[smallest][c]);
                std::swap(n.colour[i][c], n.colour[smallest][c]);
            }
        }
        int green = n.colour[i][1];
        if (green != previous) {
            n.green_index[previous] = (start + i) / 2;
            for (int g = previous + 1; g < green; g++) n.green_index[g] = i;
            previous = green;
            start = i;
        }
    }
    n.green_index[previous] = (start + n.size - 1) / 2;
    for (int g = previous + 1; g < 256; g++) n.green_index[g] = n.size - 1;
}

// One entry's distance, the terms in the given order (colour channels 0 blue, 1 green,
// 2 red), given up once not below best. False when the green term alone exceeds best.
bool try_entry(const Net& n, int k, const double* target, int alpha, double w, const int* order,
               double* best, int* result) {
    const uint8_t* c = n.colour[k];
    double d = w * (c[1] - target[1]) * (c[1] - target[1]);
    if (d > *best) return false;
    for (int t = 0; t < 2; t++) {
        int ch = order[t];
        d = d + w * (c[ch] - target[ch]) * (c[ch] - target[ch]);
        if (!(d < *best)) return true;
    }
    d = d + (double)(c[3] - alpha) * (c[3] - alpha);
    if (d < *best) {
        *best = d;
        *result = k;
    }
    return true;
}

int search(const Net& n, int alpha, int red, int green, int blue) {
    double target[3] = {0, 0, 0};  // blue, green, red
    if (alpha) {
        target[0] = n.gamma_table[blue];
        target[1] = n.gamma_table[green];
        target[2] = n.gamma_table[red];
    }
    double w = weight(alpha), best = FAR;
    int result = 0;
    int i = n.green_index[(int)target[1]], j = i - 1;
    const int up_order[2] = {0, 2}, down_order[2] = {2, 0};
    bool up = true, down = true;  // the mend: each side stops on its own
    while ((up && i < n.size) || (down && j >= 0)) {
        if (up && i < n.size) {
            up = try_entry(n, i, target, alpha, w, up_order, &best, &result);
            i++;
        }
        if (down && j >= 0) {
            down = try_entry(n, j, target, alpha, w, down_order, &best, &result);
            j--;
        }
    }
    return result;
}

int clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Error diffusion over one row of the working pixels (blue, green, red, alpha).
void dither_row(const Net& n, const uint8_t palette[256][4], std::vector<uint8_t>& pixels,
                int width, int height, int row, int carried[4], int* out) {
    uint8_t* here = &pixels[(size_t)row * width * 4];
    uint8_t* next = &pixels[(size_t)(row + 1 < height ? row + 1 : row) * width * 4];
    int e[4];
    memcpy(e, carried, sizeof e);
    for (int x = 0; x < width; x++) {
        const uint8_t* p = here + 4 * x;
        int v[4] = {p[0], p[1], p[2], p[3]}, corrected[4];
        for (int c = 0; c < 4; c++) corrected[c] = clamp(v[c] - e[c]);
        int index = search(n, corrected[3], corrected[2], corrected[1], corrected[0]);
        out[x] = index;
        const uint8_t* chosen = palette[index];
        int m = std::max((int)chosen[3], v[3]);
        int f = 255 - (255 - m) * (255 - m) / 255;
        int diff[4];
        for (int c = 0; c < 3; c++) diff[c] = (chosen[c] - v[c]) * f / 255;
        diff[3] = chosen[3] - v[3];
        int limit = 0;
        for (int c = 0; c < 4; c++) limit += diff[c] * diff[c];
        limit *= 2;
        for (int c = 0; c < 4; c++) e[c] += diff[c];
        for (;;) {
            int sum = 0;
            bool large = false;
            for (int c = 0; c < 4; c++) {
                sum += e[c] * e[c];
                large = large || e[c] * e[c] > 100;
            }
            if (!large && sum <= limit && sum <= 200) break;
            for (int c = 0; c < 4; c++) e[c] /= 2;
        }
        for (int c = 0; c < 4; c++) {
            if (x > 0) next[4 * (x - 1) + c] = (uint8_t)clamp(next[4 * (x - 1) + c] - 3 * e[c] / 16);
            if (x + 1 < width) next[4 * (x + 1) + c] = (uint8_t)clamp(next[4 * (x + 1) + c] - e[c] / 16);
            next[4 * x + c] = (uint8_t)clamp(next[4 * x + c] - 5 * e[c] / 16);
        }
    }
    for (int c = 0; c < 4; c++) carried[c] = 7 * e[c] / 16;
}

}  // namespace

ReferenceQuantised reference_quantise(const std::vector<uint8_t>& pixels, int width, int height,
                                      int depth, bool dither) {
    ReferenceQuantised out;
    memset(out.palette, 0, sizeof out.palette);
    int factor = std::min(width * height / 262144 + 1, 10);
    std::vector<Net> holder(1);
    Net& n = holder[0];
    n.pixels = pixels.data();
    n.length = width * height * 4;
    n.size = 1 << depth;
    for (int v = 0; v < 256; v++) n.gamma_table[v] = floor(255 * pow(v / 255.0, 1 / GAMMA) + 0.5);
    for (int i = 0; i < n.size; i++) {
        double grey = n.gamma_table[i * 256 / n.size];
        n.neuron[i][R] = n.neuron[i][G] = n.neuron[i][B] = grey;
        n.neuron[i][A] = i < 16 ? 16 * i : 255;
        n.freq[i] = 1.0 / n.size;
        n.bias[i] = 0;
    }
    learn(n, factor);
    build_index(n);
    for (int i = 0; i < n.size; i++) {
        out.palette[i][0] = (uint8_t)unbias(n.neuron[i][B]);
        out.palette[i][1] = (uint8_t)unbias(n.neuron[i][G]);
        out.palette[i][2] = (uint8_t)unbias(n.neuron[i][R]);
        out.palette[i][3] = (uint8_t)round_alpha(n.neuron[i][A]);
    }
    out.indices.resize((size_t)width * height);
    if (!dither) {
        for (size_t i = 0; i < out.indices.size(); i++) {
            const uint8_t* p = &pixels[4 * i];
            out.indices[i] = search(n, p[3], p[2], p[1], p[0]);
        }
        return out;
    }
    std::vector<uint8_t> working = pixels;
    int carried[4] = {0, 0, 0, 0};
    for (int row = 0; row < height; row++)
        dither_row(n, out.palette, working, width, height, row, carried, &out.indices[(size_t)row * width]);
    return out;
}
