#pragma once
// Values of the core (texts, colours) as Qt values, for the windows.
#include <QColor>
#include <QPalette>
#include <QString>
#include <string_view>

#include "base/rgb.h"

namespace orlix {

// UTF-8 text of the layout tables and the core.
inline QString qtText(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

inline QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// Sets the colour a label, check box or button writes its text in.
template <class Widget>
void setTextColour(Widget* w, Rgb c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, toQColor(c));
    p.setColor(QPalette::ButtonText, toQColor(c));
    w->setPalette(p);
}

}  // namespace orlix
