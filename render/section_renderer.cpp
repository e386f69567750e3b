#include "render/section_renderer.hpp"

#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <cmath>
#include <vector>

#include "render/section_layout.hpp"

namespace quarvent::render {
namespace {

constexpr QRgb paper = qRgb(255, 255, 255);
constexpr QRgb ink = qRgb(0, 0, 0);
constexpr int channel_word = 8;

// A row of pixels from column `from` to column `to`, both included, within the plot.
void fill_run(QImage& image, const SectionLayout& layout, int row, long from, long to,
              QRgb colour) {
    const long left = layout.plot_left();
    const long right = layout.plot_left() + layout.plot_width() - 1;
    from = std::max(from, left);
    to = std::min(to, right);
    if (from > to) return;
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
    std::fill(line + from, line + to + 1, colour);
}

long column_of(double x) { return static_cast<long>(std::floor(x)); }

void draw_wiggles(QImage& image, const SectionLayout& layout, const Section& section,
                  const PreparedSection& prepared, const RenderOptions& options) {
    const ViewRange& view = layout.view();
    const double spacing = layout.trace_spacing_px();
    const double clip = std::isfinite(options.clip_spacings) && options.clip_spacings >= 0
                            ? options.clip_spacings * spacing
                            : spacing;
    std::vector<RowSpan> rows(static_cast<std::size_t>(layout.plot_height()));
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        const auto index = static_cast<std::size_t>(trace);
        row_spans(prepared.samples(section, index), trace_interval_ms(section, index),
                  view.start_ms, layout.row_ms(), rows);
        const double px_per_unit = prepared.spacings_per_unit[index] * spacing;
        const double baseline = layout.baseline_x(trace);
        const long baseline_column = column_of(baseline);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (!rows[r].ink) continue;
            const double low = std::clamp(rows[r].low * px_per_unit, -clip, clip);
            const double high = std::clamp(rows[r].high * px_per_unit, -clip, clip);
            long from = column_of(baseline + low);
            const long to = column_of(baseline + high);
            if (options.variable_area && to > baseline_column)
                from = std::min(from, baseline_column);
            fill_run(image, layout, layout.plot_top() + static_cast<int>(r), from, to, ink);
        }
    }
}

void draw_density(QImage& image, const SectionLayout& layout, const Section& section,
                  const PreparedSection& prepared, const RenderOptions& options) {
    const ViewRange& view = layout.view();
    const double spacing = layout.trace_spacing_px();
    const double clip = std::isfinite(options.clip_spacings) && options.clip_spacings > 0
                            ? options.clip_spacings
                            : 1e-9;
    std::vector<RowSpan> rows(static_cast<std::size_t>(layout.plot_height()));
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        const auto index = static_cast<std::size_t>(trace);
        row_spans(prepared.samples(section, index), trace_interval_ms(section, index),
                  view.start_ms, layout.row_ms(), rows);
        // Lanes meet without gaps: each ends where the next begins.
        const double lane_left = layout.baseline_x(trace) - spacing / 2;
        const long from = std::lround(lane_left);
        const long to = std::max(from, std::lround(lane_left + spacing) - 1);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (!rows[r].ink) continue;
            // The value of larger magnitude stands for the row, so peaks survive decimation.
            const float value =
                std::fabs(rows[r].high) >= std::fabs(rows[r].low) ? rows[r].high : rows[r].low;
            const double swing =
                std::clamp(value * prepared.spacings_per_unit[index] / clip, -1.0, 1.0);
            const int grey = static_cast<int>(std::lround(127.5 * (1.0 - swing)));
            fill_run(image, layout, layout.plot_top() + static_cast<int>(r), from, to,
                     qRgb(grey, grey, grey));
        }
    }
}

QString tick_text(double value_ms, double step_ms) {
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step_ms))), 0, 6);
    return QString::number(value_ms, 'f', decimals);
}

void draw_axes(QImage& image, const SectionLayout& layout, const Section& section) {
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QColor axis_colour(90, 90, 90);
    painter.setPen(axis_colour);
    painter.drawRect(layout.plot_left() - 1, layout.plot_top() - 1, layout.plot_width() + 1,
                     layout.plot_height() + 1);

    const ViewRange& view = layout.view();
    const double step_ms = nice_step(40.0 * layout.row_ms());
    const int text_right = layout.plot_left() - 6;
    for (double tick_ms = std::ceil(view.start_ms / step_ms) * step_ms;
         tick_ms <= view.end_ms + step_ms * 1e-9; tick_ms += step_ms) {
        const int y = static_cast<int>(std::lround(layout.y_of_ms(tick_ms)));
        painter.drawLine(layout.plot_left() - 5, y, layout.plot_left() - 2, y);
        const QString text = tick_text(tick_ms, step_ms);
        const int height = metrics.height();
        const int top =
            std::clamp(y - height / 2, layout.plot_top() - height / 2, layout.height_px() - height);
        painter.drawText(QRect(0, top, text_right, height), Qt::AlignRight | Qt::AlignVCenter,
                         text);
    }
    painter.drawText(QRect(0, 0, layout.plot_left() - 6, layout.plot_top()),
                     Qt::AlignRight | Qt::AlignVCenter,
                     time_is_in_samples(section) ? QStringLiteral("sample") : QStringLiteral("ms"));

    if (layout.visible_traces() == 0) return;
    const int label_width = metrics.horizontalAdvance(QStringLiteral("-32768")) + 6;
    const int every = std::max(
        1, static_cast<int>(std::ceil(label_width / std::max(layout.trace_spacing_px(), 1e-9))));
    painter.setClipRect(layout.plot_left() - label_width / 2, 0, layout.plot_width() + label_width,
                        layout.plot_top());
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        if (trace % every != 0) continue;
        const std::int16_t channel =
            section.traces[static_cast<std::size_t>(trace)].word(channel_word);
        const int label = channel != 0 ? channel : trace + 1;
        const int x = static_cast<int>(std::lround(layout.baseline_x(trace)));
        painter.drawText(QRect(x - label_width / 2, 0, label_width, layout.plot_top()),
                         Qt::AlignHCenter | Qt::AlignVCenter, QString::number(label));
    }
}

}  // namespace

QImage render_section_image(const Section& section, const RenderOptions& options, QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return {};
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.fill(paper);
    const SectionLayout layout(section, options, size.width(), size.height());
    if (layout.visible_traces() > 0 && layout.plot_width() > 0 && layout.plot_height() > 0) {
        const PreparedSection prepared = prepare_section(section, options);
        if (options.mode == DisplayMode::density) {
            draw_density(image, layout, section, prepared, options);
        } else {
            draw_wiggles(image, layout, section, prepared, options);
        }
    }
    if (layout.has_axes() && ensure_gui_application()) draw_axes(image, layout, section);
    return image;
}

void paint_section(QPainter& painter, const QRect& target, const Section& section,
                   const RenderOptions& options) {
    const QImage image = render_section_image(section, options, target.size());
    if (!image.isNull()) painter.drawImage(target.topLeft(), image);
}

const char* png_result_text(PngResult result) {
    switch (result) {
        case PngResult::written:
            return "The picture was saved.";
        case PngResult::bad_size:
            return "The picture is empty or too large to draw.";
        case PngResult::cannot_write:
            return "The picture could not be written.";
    }
    return "The picture could not be written.";
}

PngResult save_png(const QImage& image, const std::filesystem::path& path, std::string* reason) {
    if (image.isNull()) return PngResult::bad_size;
    QSaveFile file(QFile::decodeName(path.c_str()));
    const auto fail = [&](const QString& why) {
        if (reason != nullptr) *reason = why.toStdString();
        return PngResult::cannot_write;
    };
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        const QString why = writer.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit()) return fail(file.errorString());
    return PngResult::written;
}

PngResult render_section_png(const Section& section, const RenderOptions& options, QSize size,
                             const std::filesystem::path& path, std::string* reason) {
    const QImage image = render_section_image(section, options, size);
    if (image.isNull()) return PngResult::bad_size;
    return save_png(image, path, reason);
}

bool ensure_gui_application() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        return qobject_cast<QGuiApplication*>(existing) != nullptr;
    }
    static int argc = 3;
    static char name[] = "quarvent";
    static char platform_option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, platform_option, platform, nullptr};
    // Never deleted: the application object has to outlive every image drawn by the process.
    static auto* application = new QGuiApplication(argc, argv);
    return application != nullptr;
}

}  // namespace quarvent::render
