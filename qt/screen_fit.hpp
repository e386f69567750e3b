#pragma once
// Keeping windows and dialogs on the screen: a rectangle that does not fit the screen's
// available area (the screen less its panels) is moved into it, and shrunk where moving is
// not enough; one that fits stays where it is.

#include <QMargins>
#include <QRect>

class QScreen;
class QWidget;

namespace quarvent {

// rect (a client rectangle) moved and shrunk so that it, with frame around it, lies inside
// available. A rectangle that already does is returned as it is.
QRect fitted_into(const QRect& rect, const QMargins& frame, const QRect& available);

// The available area of the screen that widget is on, or of the primary screen.
QRect available_area(const QWidget& widget);

// The frame the window system puts around widget: known once it is shown, otherwise a
// typical title bar and border.
QMargins frame_of(const QWidget& widget);

// Fits widget's geometry into the available area of its screen.
void fit_into_screen(QWidget& widget);

}  // namespace quarvent
