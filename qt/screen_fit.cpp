#include "qt/screen_fit.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace quarvent {

namespace {

// Title bar and border of a typical window manager, for a window not shown yet.
constexpr QMargins typical_frame{4, 28, 4, 4};

}  // namespace

QRect fitted_into(const QRect& rect, const QMargins& frame, const QRect& available) {
    if (available.isEmpty()) return rect;
    const QRect outer = rect.marginsAdded(frame);
    if (available.contains(outer)) return rect;
    QRect fitted = rect;
    const int room_width = available.width() - frame.left() - frame.right();
    const int room_height = available.height() - frame.top() - frame.bottom();
    fitted.setWidth(std::max(1, std::min(rect.width(), room_width)));
    fitted.setHeight(std::max(1, std::min(rect.height(), room_height)));
    const int left_most = available.left() + frame.left();
    const int top_most = available.top() + frame.top();
    const int right_most = available.right() - frame.right() - fitted.width() + 1;
    const int bottom_most = available.bottom() - frame.bottom() - fitted.height() + 1;
    fitted.moveLeft(std::clamp(rect.left(), left_most, std::max(left_most, right_most)));
    fitted.moveTop(std::clamp(rect.top(), top_most, std::max(top_most, bottom_most)));
    return fitted;
}

QRect available_area(const QWidget& widget) {
    const QScreen* screen = widget.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

QMargins frame_of(const QWidget& widget) {
    if (!widget.isVisible()) return typical_frame;
    const QRect frame = widget.frameGeometry();
    const QRect client = widget.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

void fit_into_screen(QWidget& widget) {
    const QRect fitted = fitted_into(widget.geometry(), frame_of(widget), available_area(widget));
    if (fitted != widget.geometry()) widget.setGeometry(fitted);
}

}  // namespace quarvent
