#pragma once
// Colours of the core as Qt colours, for the windows.
#include <QColor>

#include "platform/rgb.h"

class QWidget;

namespace orlix {

inline QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// Sets the colour a label, check box or button writes its text in.
void setTextColour(QWidget* w, Rgb c);

}  // namespace orlix
