#include "chart/chart_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace orlix {
namespace {

// Dashed pen: 18 pixels drawn, 6 left out, counted from the line's start.
constexpr long kDashOn = 18, kDashPeriod = 24;

// 5 x 7 glyphs, one byte per row, bit 4 the leftmost column.
struct Glyph {
    char ch;
    std::uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
};
// Rows of a cell above the glyph (room for accents in a real font).
constexpr int kGlyphTop = 2;

const Glyph* findGlyph(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.ch == c) return &g;
    return nullptr;
}

// Nearest integer of num / den (den > 0), halves rounded up. Wide enough for
// |num| <= den * den with den up to 2^32 (lines between any 32-bit points).
template <class Wide>
long long roundedDiv(Wide num, Wide den) {
    const Wide n = 2 * num + den, d = 2 * den;
    Wide q = n / d;
    if (n % d != 0 && n < 0) --q;  // floor
    return static_cast<long long>(q);
}

}  // namespace

QRgb toQRgb(Rgb c) { return qRgb(c.r, c.g, c.b); }

ChartSurface::ChartSurface() : image_(kWidth, kHeight, QImage::Format_RGB32) { clear(); }

void ChartSurface::clear() {
    image_.fill(qRgb(0, 0, 0));
    CurrentX = 0;
    CurrentY = 0;
    ++generation_;
}

QRgb ChartSurface::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return 0;
    return reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x] | 0xFF000000u;
}

bool ChartSurface::isColour(int x, int y, Rgb c) const {
    return x >= 0 && y >= 0 && x < kWidth && y < kHeight && pixel(x, y) == (toQRgb(c) | 0xFF000000u);
}

void ChartSurface::pset(int x, int y) {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = toQRgb(fore_);
    ++generation_;
}

void ChartSurface::line(int x1, int y1, int x2, int y2) { drawLine(x1, y1, x2, y2, toQRgb(fore_)); }

void ChartSurface::line(int x1, int y1, int x2, int y2, Rgb colour) {
    drawLine(x1, y1, x2, y2, toQRgb(colour));
}

void ChartSurface::drawLine(int x1, int y1, int x2, int y2, QRgb c) {
    ++generation_;
    uchar* bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    const bool dashed = style_ == 1;
    auto put = [&](long long x, long long y, long long step) {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
        if (dashed && step % kDashPeriod >= kDashOn) return;
        reinterpret_cast<QRgb*>(bits + y * stride)[x] = c;
    };
    const long long dx = static_cast<long long>(x2) - x1;
    const long long dy = static_cast<long long>(y2) - y1;
    const long long adx = std::llabs(dx), ady = std::llabs(dy);
    if (adx == 0 && ady == 0) {
        put(x1, y1, 0);
        return;
    }
    // Walk the major axis one pixel per step; the minor coordinate of step i
    // is the nearest pixel to the exact line. Only the steps whose major
    // coordinate lies inside the picture are visited.
    const bool alongX = adx >= ady;
    const long long n = alongX ? adx : ady;
    const long long start = alongX ? x1 : y1;
    const long long dir = (alongX ? dx : dy) < 0 ? -1 : 1;
    const long long limit = alongX ? kWidth : kHeight;
    // Steps i with 0 <= start + dir * i < limit.
    long long lo, hi;
    if (dir > 0) {
        lo = std::max(0LL, -start);
        hi = std::min(n, limit - 1 - start);
    } else {
        lo = std::max(0LL, start - (limit - 1));
        hi = std::min(n, start);
    }
    const long long minorStart = alongX ? y1 : x1;
    const long long minorDelta = alongX ? dy : dx;
    // Steps and deltas up to 2^31 keep 2 * delta * step within 64 bits.
    const bool narrow = n < (1LL << 31);
    for (long long i = lo; i <= hi; ++i) {
        const long long major = start + dir * i;
        const long long minor =
            minorStart + (narrow ? roundedDiv<long long>(minorDelta * i, n)
                                 : roundedDiv<__int128>(static_cast<__int128>(minorDelta) * i, n));
        if (alongX)
            put(major, minor, i);
        else
            put(minor, major, i);
    }
}

void ChartSurface::print(std::string_view utf8) {
    ++generation_;
    // Positions are placed on the nearest pixel; far-off positions draw nothing.
    const double fx = std::nearbyint(CurrentX), fy = std::nearbyint(CurrentY);
    if (!(fx > -1e6 && fx < 1e6 && fy > -1e6 && fy < 1e6)) {
        CurrentX = 0;
        return;
    }
    const int x0 = static_cast<int>(fx);
    const int y0 = static_cast<int>(fy);
    const QRgb c = toQRgb(fore_);
    int col = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if ((b & 0xC0) == 0x80) continue;  // continuation byte of a multi-byte character
        const Glyph* g = b < 0x80 ? findGlyph(static_cast<char>(b)) : nullptr;
        const int cx = x0 + col * kCharWidth;
        ++col;
        if (!g) continue;
        for (int r = 0; r < 7; ++r) {
            const int y = y0 + kGlyphTop + r;
            if (y < 0 || y >= kHeight) continue;
            QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
            for (int bit = 0; bit < 5; ++bit) {
                if (!(g->rows[r] & (0x10 >> bit))) continue;
                const int x = cx + bit;
                if (x >= 0 && x < kWidth) line[x] = c;
            }
        }
    }
    CurrentX = 0;
    CurrentY = y0 + kCharHeight;
}

void ChartSurface::scrollLeft() {
    ++generation_;
    uchar* bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    if (stride == kWidth * static_cast<qsizetype>(sizeof(QRgb))) {
        // Rows are contiguous: one move of the whole image, with the last
        // column (which a row-wise move would leave alone) put back after.
        QRgb* px = reinterpret_cast<QRgb*>(bits);
        QRgb lastColumn[kHeight];
        for (int y = 0; y < kHeight; ++y) lastColumn[y] = px[y * kWidth + kWidth - 1];
        std::memmove(px, px + 1, (static_cast<std::size_t>(kWidth) * kHeight - 1) * sizeof(QRgb));
        for (int y = 0; y < kHeight; ++y) px[y * kWidth + kWidth - 1] = lastColumn[y];
        return;
    }
    for (int y = 0; y < kHeight; ++y) {
        uchar* row = bits + y * stride;
        std::memmove(row, row + sizeof(QRgb), (kWidth - 1) * sizeof(QRgb));
    }
}

}  // namespace orlix
