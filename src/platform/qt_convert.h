#pragma once
// Values of the core (texts, colours) as Qt values, for the windows.
#include <QColor>
#include <QString>
#include <string_view>

#include "platform/rgb.h"

class QWidget;

namespace orlix {

// UTF-8 text of the layout tables and the core.
inline QString qtText(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

inline QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// Sets the colour a label, check box or button writes its text in.
void setTextColour(QWidget* w, Rgb c);

}  // namespace orlix
