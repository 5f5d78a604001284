#pragma once
// One chart picture: a persistent 727 x 400 raster image with the handful of
// drawing operations the charts use. Lines are drawn pixel by pixel without
// antialiasing (both end points set), so a line of colour C sets its pixels
// to exactly C and tests can read them back. Text uses a small built-in
// bitmap font, so drawing needs no font database and no application object.
#include <QImage>

#include <cstdint>
#include <string_view>

#include "base/rgb.h"

namespace orlix {

class ChartSurface {
public:
    static constexpr int kWidth = 727, kHeight = 400;
    // Size of one character cell of the built-in font.
    static constexpr int kCharWidth = 6, kCharHeight = 12;

    ChartSurface();

    // All black, CurrentX/CurrentY back to 0.
    void clear();

    void setForeColor(Rgb c) { fore_ = c; }
    Rgb foreColor() const { return fore_; }
    // 0 solid, 1 dashed (18 pixels on, 6 off along the line).
    void setDrawStyle(int style) { style_ = style; }
    int drawStyle() const { return style_; }

    // Line in the fore colour and the current draw style; both end points are
    // set. Coordinates may lie far outside the picture: only the visible part
    // is touched, and it is the same set of pixels the unclipped line has.
    void line(int x1, int y1, int x2, int y2);
    // The same in an explicit colour, leaving the fore colour as it is.
    void line(int x1, int y1, int x2, int y2, Rgb colour);
    // One pixel in the fore colour (ignored outside the picture).
    void pset(int x, int y);

    // Text position of the next print().
    double CurrentX = 0, CurrentY = 0;
    // Text in the fore colour with its top-left corner at (CurrentX,
    // CurrentY), transparent background. Afterwards CurrentX is 0 and
    // CurrentY one text line lower, as after a printed line.
    void print(std::string_view utf8);

    // Copies the picture onto itself one pixel to the left; the rightmost
    // column keeps its content.
    void scrollLeft();

    const QImage& image() const { return image_; }
    QRgb pixel(int x, int y) const;
    bool isColour(int x, int y, Rgb c) const;
    // Bumped by every change, so a widget repaints only when needed.
    std::uint64_t generation() const { return generation_; }

private:
    void drawLine(int x1, int y1, int x2, int y2, QRgb c);

    QImage image_;
    Rgb fore_{};
    int style_ = 0;
    std::uint64_t generation_ = 0;
};

QRgb toQRgb(Rgb c);

}  // namespace orlix
