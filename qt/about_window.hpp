#pragma once
// The About window on the desktop: a dialog whose client area shows the picture, with the OK
// button Command1 at its bottom. Sizes and positions are handed to the logic in twips, from
// the window's logical resolution.

#include <QDialog>
#include <QObject>
#include <QPixmap>
#include <memory>

#include "shell/about.hpp"

class QPushButton;

namespace quarvent {

class QtAboutWindow final : public QDialog, public AboutWindowPort {
    Q_OBJECT

public:
    explicit QtAboutWindow(QWidget* owner);

    PictureLoad load_picture(const std::string& path) override;
    bool has_picture() const override { return !picture_.isNull(); }
    double twips_per_pixel_x() const override;
    double twips_per_pixel_y() const override;
    double outer_width() const override;
    double outer_height() const override;
    double client_width() const override;
    double client_height() const override;
    void set_outer_size(double width, double height) override;
    double left() const override;
    double top() const override;
    void set_position(double left, double top) override;
    void set_title(std::string_view title) override;
    std::string title() const override;
    double command1_height() const override;
    double command1_top() const override;
    void set_command1_top(double top) override;
    void show_modal(About& about) override;
    void unload() override;

    QPushButton* command1() const { return command1_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The window frame's width in pixels (left plus right) and height (top plus bottom).
    QSize frame_size() const;

    QPushButton* command1_ = nullptr;
    QPixmap picture_;
    About* about_ = nullptr;
};

// Makes About windows owned by the main window.
class QtAboutWindowFactory final : public QObject, public AboutWindowFactory {
    Q_OBJECT

public:
    explicit QtAboutWindowFactory(QWidget* owner) : QObject(owner), owner_(owner) {}
    std::unique_ptr<AboutWindowPort> load_about() override;

private:
    QWidget* owner_;
};

}  // namespace quarvent
