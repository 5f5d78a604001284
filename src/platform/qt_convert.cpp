#include "platform/qt_convert.h"

#include <QPalette>
#include <QWidget>

namespace orlix {

void setTextColour(QWidget* w, Rgb c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, toQColor(c));
    p.setColor(QPalette::ButtonText, toQColor(c));
    w->setPalette(p);
}

}  // namespace orlix
