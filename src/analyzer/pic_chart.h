#pragma once
// One chart picture: paints the chart's persistent image as it stands and the
// chart's two time-cursor lines over it. The lines are widget state, never
// drawn into the image, so scrolling and redraws cannot smear them.
#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "chart/chart_export.h"

namespace orlix::analyzer {

class PicChart : public QWidget {
    Q_OBJECT
public:
    using ImageSource = std::function<const QImage*()>;
    using GenerationSource = std::function<std::uint64_t()>;

    explicit PicChart(int index, QWidget* parent = nullptr);

    int index() const { return index_; }
    void setImageSource(ImageSource image, GenerationSource generation);
    // Schedules a repaint when the image changed since the last paint.
    void refreshIfChanged();

    // Cursor lines linCursor(2k + c), c = 0 or 1.
    int cursorX(int c) const { return cursorX_.at(static_cast<size_t>(c)); }
    bool cursorVisible(int c) const { return cursorVisible_.at(static_cast<size_t>(c)); }
    void setCursorX(int c, int x);
    void setCursorVisible(int c, bool visible);
    // Both lines as they are painted over the image.
    ChartCursorLines cursorLines() const;

    // The custom pointer shown while the mouse is over an active cursor.
    void setCustomPointer(bool on);
    bool customPointer() const { return customPointer_; }

signals:
    // Buttons: 1 left, 2 right (0 none); x, y in pixels of the chart.
    void pressed(int index, int button, int x, int y);
    void moved(int index, int buttons, int x, int y);
    void released(int index, int button, int x, int y);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int index_;
    ImageSource image_;
    GenerationSource generation_;
    std::uint64_t paintedGeneration_ = ~std::uint64_t{0};
    std::array<int, 2> cursorX_{};
    std::array<bool, 2> cursorVisible_{};
    bool customPointer_ = false;
};

}  // namespace orlix::analyzer
