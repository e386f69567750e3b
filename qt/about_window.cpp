#include "qt/about_window.hpp"

#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <cmath>

namespace quarvent {

namespace {

// Command1 as designed, in pixels: centred under the picture.
constexpr int command1_width_px = 81;
constexpr int command1_height_px = 25;
constexpr int command1_left_px = (about_client_width_px - command1_width_px) / 2;

int to_pixels(double twips, double twips_per_pixel) {
    return static_cast<int>(std::lround(twips / twips_per_pixel));
}

}  // namespace

QtAboutWindow::QtAboutWindow(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("About"));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    command1_ = new QPushButton(QStringLiteral("OK"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setAutoDefault(false);
    command1_->setGeometry(command1_left_px, about_client_height_px - command1_height_px,
                           command1_width_px, command1_height_px);
    resize(about_client_width_px, about_client_height_px);
    connect(command1_, &QPushButton::clicked, this, [this] {
        if (about_ != nullptr) about_->Command1_Click();
    });
}

PictureLoad QtAboutWindow::load_picture(const std::string& path) {
    const QString name = QString::fromLocal8Bit(path.c_str());
    if (!QFileInfo::exists(name)) return PictureLoad::not_found;
    QPixmap picture;
    if (!picture.load(name)) return PictureLoad::failed;
    picture_ = picture;
    update();
    return PictureLoad::loaded;
}

double QtAboutWindow::twips_per_pixel_x() const {
    const int dpi = logicalDpiX();
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

double QtAboutWindow::twips_per_pixel_y() const {
    const int dpi = logicalDpiY();
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

QSize QtAboutWindow::frame_size() const {
    const QWidget* framed = this;
    // Until it is first shown the window system has not framed this window; its frame will
    // be the same as its owner's.
    if (!isVisible() && parentWidget() != nullptr && parentWidget()->isVisible()) {
        framed = parentWidget()->window();
    }
    return framed->frameGeometry().size() - framed->size();
}

double QtAboutWindow::outer_width() const {
    return (width() + frame_size().width()) * twips_per_pixel_x();
}
double QtAboutWindow::outer_height() const {
    return (height() + frame_size().height()) * twips_per_pixel_y();
}
double QtAboutWindow::client_width() const { return width() * twips_per_pixel_x(); }
double QtAboutWindow::client_height() const { return height() * twips_per_pixel_y(); }

void QtAboutWindow::set_outer_size(double width_twips, double height_twips) {
    const QSize frame = frame_size();
    const int width_px = std::max(1, to_pixels(width_twips, twips_per_pixel_x()) - frame.width());
    const int height_px =
        std::max(1, to_pixels(height_twips, twips_per_pixel_y()) - frame.height());
    // The picture fills the client area, which the operator cannot change.
    setFixedSize(width_px, height_px);
}

double QtAboutWindow::left() const { return frameGeometry().x() * twips_per_pixel_x(); }
double QtAboutWindow::top() const { return frameGeometry().y() * twips_per_pixel_y(); }

void QtAboutWindow::set_position(double left_twips, double top_twips) {
    move(to_pixels(left_twips, twips_per_pixel_x()), to_pixels(top_twips, twips_per_pixel_y()));
}

void QtAboutWindow::set_title(std::string_view title) {
    setWindowTitle(QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size())));
}

std::string QtAboutWindow::title() const { return windowTitle().toLatin1().toStdString(); }

double QtAboutWindow::command1_height() const { return command1_->height() * twips_per_pixel_y(); }
double QtAboutWindow::command1_top() const { return command1_->y() * twips_per_pixel_y(); }

void QtAboutWindow::set_command1_top(double top_twips) {
    command1_->move(command1_->x(), to_pixels(top_twips, twips_per_pixel_y()));
}

void QtAboutWindow::show_modal(About& about) {
    about_ = &about;
    exec();
    about_ = nullptr;
}

void QtAboutWindow::unload() {
    if (isVisible()) done(QDialog::Accepted);
}

void QtAboutWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

void QtAboutWindow::mousePressEvent(QMouseEvent* event) {
    if (about_ != nullptr && event->button() == Qt::LeftButton) {
        about_->Form_Click();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

std::unique_ptr<AboutWindowPort> QtAboutWindowFactory::load_about() {
    return std::make_unique<QtAboutWindow>(owner_);
}

}  // namespace quarvent
