#include "analyzer/pic_chart.h"

#include <QMouseEvent>
#include <QPainter>

#include "analyzer/analyzer_layout.h"
#include "chart/chart_export.h"

namespace orlix::analyzer {

namespace {

int buttonCode(Qt::MouseButton b) {
    if (b == Qt::LeftButton) return 1;
    if (b == Qt::RightButton) return 2;
    if (b == Qt::MiddleButton) return 4;
    return 0;
}

int buttonsCode(Qt::MouseButtons bs) {
    int code = 0;
    if (bs & Qt::LeftButton) code |= 1;
    if (bs & Qt::RightButton) code |= 2;
    if (bs & Qt::MiddleButton) code |= 4;
    return code;
}

}  // namespace

PicChart::PicChart(int index, QWidget* parent) : QWidget(parent), index_(index) {
    setObjectName(QStringLiteral("picChart(%1)").arg(index));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFixedSize(px(kPicChart.width), px(kPicChart.height));
    for (int c = 0; c < 2; ++c) cursorX_[static_cast<size_t>(c)] = kCursorStartX[static_cast<size_t>(c)];
}

void PicChart::setImageSource(ImageSource image, GenerationSource generation) {
    image_ = std::move(image);
    generation_ = std::move(generation);
    update();
}

void PicChart::refreshIfChanged() {
    if (generation_ && generation_() != paintedGeneration_) update();
}

void PicChart::setCursorX(int c, int x) {
    auto& cur = cursorX_.at(static_cast<size_t>(c));
    if (cur == x) return;
    cur = x;
    update();
}

void PicChart::setCursorVisible(int c, bool visible) {
    auto& cur = cursorVisible_.at(static_cast<size_t>(c));
    if (cur == visible) return;
    cur = visible;
    update();
}

void PicChart::setCustomPointer(bool on) {
    if (on == customPointer_) return;
    customPointer_ = on;
    if (on)
        setCursor(Qt::SizeHorCursor);
    else
        unsetCursor();
}

void PicChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QImage* img = image_ ? image_() : nullptr;
    if (img && !img->isNull())
        p.drawImage(0, 0, *img);
    else
        p.fillRect(rect(), Qt::black);
    if (generation_) paintedGeneration_ = generation_();
    p.setRenderHint(QPainter::Antialiasing, false);
    paintCursorLines(p, height(), cursorLines());
}

ChartCursorLines PicChart::cursorLines() const {
    return {{{cursorX_[0], cursorVisible_[0]}, {cursorX_[1], cursorVisible_[1]}}};
}

void PicChart::mousePressEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    emit pressed(index_, buttonCode(e->button()), pt.x(), pt.y());
}

void PicChart::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    emit moved(index_, buttonsCode(e->buttons()), pt.x(), pt.y());
}

void PicChart::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    emit released(index_, buttonCode(e->button()), pt.x(), pt.y());
}

}  // namespace orlix::analyzer
