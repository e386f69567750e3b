#pragma once
// Draws a record section: traces side by side, time running down, a time axis in ms on the
// left and trace labels (channel word 8, or the trace's position when word 8 is 0) on top.
// Everything is drawn into a QImage, so the same picture serves a window, a PNG file and a
// program without a display.
//
// Text needs a QGuiApplication. The functions here create one on the offscreen platform when
// the process has no application object yet (a command-line program), and leave out the
// text when the process has a QCoreApplication only.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <filesystem>
#include <string>

#include "common/enum_names.hpp"
#include "render/section.hpp"

namespace quarvent::render {

// The section drawn at the given size, white outside the traces.
QImage render_section_image(const Section& section, const RenderOptions& options, QSize size);

// The same picture, painted into target.
void paint_section(QPainter& painter, const QRect& target, const Section& section,
                   const RenderOptions& options);

enum class PngResult { written, bad_size, cannot_write };
const char* png_result_text(PngResult result);
constexpr std::string_view name_of(PngResult result) {
    constexpr auto names =
        enum_names<PngResult::cannot_write>("written", "bad_size", "cannot_write");
    return name_in(names, result);
}

// Writes the image as PNG through a temporary file that replaces `path` only once complete,
// so a failed write never leaves a truncated picture or destroys an earlier one. `reason`,
// when given, receives the system's explanation of a failure.
[[nodiscard]] PngResult save_png(const QImage& image, const std::filesystem::path& path,
                                 std::string* reason = nullptr);

// render_section_image and save_png in one step, for a program that writes pictures without
// showing them.
[[nodiscard]] PngResult render_section_png(const Section& section, const RenderOptions& options,
                                           QSize size, const std::filesystem::path& path,
                                           std::string* reason = nullptr);

// Makes sure a QGuiApplication exists (an offscreen one, kept until the process ends, when
// there is no application object). False when the process has a non-GUI application object.
bool ensure_gui_application();

}  // namespace quarvent::render
