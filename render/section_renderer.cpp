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
constexpr QRgb missing_fill = qRgb(222, 222, 222);
constexpr QRgb missing_hatch = qRgb(160, 160, 160);
constexpr QRgb separator_colour = qRgb(0, 90, 200);
constexpr int ssn_word = 92;
// Hatch lines of a missing trace run diagonally, this many pixels apart.
constexpr int hatch_period_px = 6;

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

// The columns of trace's lane: lanes meet without gaps, each ending where the next begins.
std::pair<long, long> lane_columns(const SectionLayout& layout, int trace) {
    const double lane_left = layout.baseline_x(trace) - layout.trace_spacing_px() / 2;
    const long from = std::lround(lane_left);
    return {from, std::max(from, std::lround(lane_left + layout.trace_spacing_px()) - 1)};
}

void draw_wiggles(QImage& image, const SectionLayout& layout, const Section& section,
                  const PreparedSection& prepared, const RenderOptions& options) {
    const ViewRange& view = layout.view();
    const double spacing = layout.trace_spacing_px();
    const double clip = std::isfinite(options.clip_spacings) && options.clip_spacings >= 0
                            ? options.clip_spacings * spacing
                            : spacing;
    std::vector<RowSpan> rows(static_cast<std::size_t>(layout.plot_height()));
    const bool area_only = layout.area_only();
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        const auto index = static_cast<std::size_t>(trace);
        if (section.traces[index].missing) continue;
        row_spans(prepared.samples(section, index), trace_interval_ms(section, index),
                  view.start_ms - trace_delay_ms(section, index), layout.row_ms(), rows);
        const double px_per_unit = prepared.spacings_per_unit[index] * spacing;
        const double baseline = layout.baseline_x(trace);
        const long baseline_column = column_of(baseline);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (!rows[r].ink) continue;
            const double low = std::clamp(rows[r].low * px_per_unit, -clip, clip);
            const double high = std::clamp(rows[r].high * px_per_unit, -clip, clip);
            long from = column_of(baseline + low);
            const long to = column_of(baseline + high);
            if (area_only) {
                // Only the positive lobe, from the baseline out; the rest of the lane stays
                // white so that neighbouring traces remain apart.
                if (to <= baseline_column) continue;
                from = baseline_column + 1;
            } else if (options.variable_area && to > baseline_column) {
                from = std::min(from, baseline_column);
            }
            fill_run(image, layout, layout.plot_top() + static_cast<int>(r), from, to, ink);
        }
    }
}

void draw_density(QImage& image, const SectionLayout& layout, const Section& section,
                  const PreparedSection& prepared, const RenderOptions& options) {
    const ViewRange& view = layout.view();
    const double clip = std::isfinite(options.clip_spacings) && options.clip_spacings > 0
                            ? options.clip_spacings
                            : 1e-9;
    std::vector<RowSpan> rows(static_cast<std::size_t>(layout.plot_height()));
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        const auto index = static_cast<std::size_t>(trace);
        if (section.traces[index].missing) continue;
        row_spans(prepared.samples(section, index), trace_interval_ms(section, index),
                  view.start_ms - trace_delay_ms(section, index), layout.row_ms(), rows);
        const auto [from, to] = lane_columns(layout, trace);
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

// A trace that could not be read: its lane grey with diagonal hatching, top to bottom, so that
// it never passes for a silent trace.
void draw_missing(QImage& image, const SectionLayout& layout, const Section& section) {
    const ViewRange& view = layout.view();
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        if (!section.traces[static_cast<std::size_t>(trace)].missing) continue;
        const auto [from, to] = lane_columns(layout, trace);
        for (int r = 0; r < layout.plot_height(); ++r) {
            const int row = layout.plot_top() + r;
            fill_run(image, layout, row, from, to, missing_fill);
            for (long x = from; x <= to; ++x) {
                if ((x + r) % hatch_period_px == 0)
                    fill_run(image, layout, row, x, x, missing_hatch);
            }
        }
    }
}

// Where word 92 (the shot's SSN) changes between neighbouring traces: a thin line between
// their lanes. Returns the columns of the lines and the SSN each begins.
std::vector<std::pair<long, std::int16_t>> draw_separators(QImage& image,
                                                           const SectionLayout& layout,
                                                           const Section& section) {
    std::vector<std::pair<long, std::int16_t>> lines;
    const ViewRange& view = layout.view();
    const SectionTrace* before = nullptr;
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        const SectionTrace& here = section.traces[static_cast<std::size_t>(trace)];
        if (here.missing) continue;
        if (before != nullptr && before->word(ssn_word) != here.word(ssn_word)) {
            const long x = lane_columns(layout, trace).first;
            for (int r = 0; r < layout.plot_height(); ++r) {
                fill_run(image, layout, layout.plot_top() + r, x, x, separator_colour);
            }
            lines.emplace_back(x, here.word(ssn_word));
        }
        before = &here;
    }
    return lines;
}

QString tick_text(double value_ms, double step_ms) {
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step_ms))), 0, 6);
    return QString::number(value_ms, 'f', decimals);
}

void draw_axes(QImage& image, const SectionLayout& layout, const Section& section,
               const std::vector<std::pair<long, std::int16_t>>& separators) {
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

    // The shots' SSNs, each beside the line where it begins; a label that would run into the
    // one before is left out.
    if (!separators.empty()) {
        const int first = view.first_trace;
        std::vector<std::pair<long, std::int16_t>> marks;
        marks.emplace_back(layout.plot_left(),
                           section.traces[static_cast<std::size_t>(first)].word(ssn_word));
        marks.insert(marks.end(), separators.begin(), separators.end());
        long free_from = 0;
        for (const auto& [x, ssn] : marks) {
            const QString text = QStringLiteral("SSN %1").arg(ssn);
            const int width = metrics.horizontalAdvance(text) + 4;
            if (x + 2 < free_from || x + 2 + width > layout.plot_left() + layout.plot_width()) {
                continue;
            }
            const QRect box(static_cast<int>(x) + 2, layout.plot_top() + 1, width,
                            metrics.height());
            painter.fillRect(box, QColor(255, 255, 255, 220));
            painter.setPen(QColor(separator_colour));
            painter.drawText(box, Qt::AlignCenter, text);
            free_from = box.right() + 4;
        }
        painter.setPen(axis_colour);
    }

    const std::string delay = delay_text(section);
    if (!delay.empty()) {
        const QString text = QString::fromStdString(delay);
        const int width = metrics.horizontalAdvance(text) + 8;
        const QRect box(layout.plot_left() + 2,
                        layout.plot_top() + layout.plot_height() - metrics.height() - 3, width,
                        metrics.height() + 2);
        painter.fillRect(box, QColor(255, 255, 200, 230));
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignCenter, text);
        painter.setPen(axis_colour);
    }

    if (layout.visible_traces() == 0) return;
    const auto label_of = [&](int trace) {
        const SectionTrace& shown = section.traces[static_cast<std::size_t>(trace)];
        return shown.number != 0 ? shown.number : static_cast<std::uint64_t>(trace) + 1;
    };
    // Room for the longest label in view (the numbers grow to the right).
    const int label_width =
        metrics.horizontalAdvance(QString(
            QString::number(std::max(label_of(view.first_trace), label_of(view.last_trace))).size(),
            QLatin1Char('0'))) +
        8;
    const int every = std::max(
        1, static_cast<int>(std::ceil(label_width / std::max(layout.trace_spacing_px(), 1e-9))));
    painter.save();
    painter.setClipRect(layout.plot_left() - 4, 0, layout.plot_width() + label_width,
                        layout.plot_top());
    int last_labelled = -every;
    int free_from = 0;
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        const bool missing = section.traces[static_cast<std::size_t>(trace)].missing;
        // Every few traces, and every missing trace that has room for its own number.
        if (trace - last_labelled < every || !(trace % every == 0 || missing)) continue;
        const int x = static_cast<int>(std::lround(layout.baseline_x(trace)));
        painter.setPen(missing ? QColor(170, 0, 0) : axis_colour);
        // A label at the left edge moves right rather than run into the axis's unit, and the
        // next one then waits for room.
        const int left = std::max(x - label_width / 2, layout.plot_left() - 4);
        if (left < free_from) continue;
        free_from = left + label_width;
        last_labelled = trace;
        painter.drawText(QRect(left, 0, label_width, layout.plot_top()),
                         Qt::AlignHCenter | Qt::AlignVCenter, QString::number(label_of(trace)));
    }
    painter.restore();

    // "missing" down the middle of each missing lane wide enough to hold it.
    painter.save();
    painter.setClipRect(layout.plot_left(), layout.plot_top(), layout.plot_width(),
                        layout.plot_height());
    painter.setPen(QColor(170, 0, 0));
    for (int trace = view.first_trace; trace <= view.last_trace; ++trace) {
        if (!section.traces[static_cast<std::size_t>(trace)].missing) continue;
        if (layout.trace_spacing_px() < metrics.height()) continue;
        painter.save();
        painter.translate(layout.baseline_x(trace),
                          layout.plot_top() + std::min(layout.plot_height() / 2, 120));
        painter.rotate(90);
        const QString text = QStringLiteral("%1 missing").arg(label_of(trace));
        const int width = metrics.horizontalAdvance(text) + 6;
        const QRect box(-width / 2, -metrics.height() / 2, width, metrics.height());
        painter.fillRect(box, QColor(255, 255, 255));
        painter.drawText(box, Qt::AlignCenter, text);
        painter.restore();
    }
    painter.restore();
}

// Density mode's scale: black for the positive end, white for the negative, with the
// amplitude each end stands for.
void draw_colour_bar(QImage& image, const SectionLayout& layout, const Section& section,
                     const RenderOptions& options, const PreparedSection& prepared) {
    if (layout.colour_bar_width() == 0) return;
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int text_height = metrics.height();
    const int left = layout.colour_bar_left();
    const int bar_width = 14;
    const int top = layout.plot_top() + text_height + 2;
    const int bottom = layout.plot_top() + layout.plot_height() - text_height - 3;
    if (bottom - top < 10) return;
    for (int y = top; y <= bottom; ++y) {
        const double swing = 1.0 - 2.0 * (y - top) / static_cast<double>(bottom - top);
        const int grey = static_cast<int>(std::lround(127.5 * (1.0 - swing)));
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(line + left, line + left + bar_width, qRgb(grey, grey, grey));
    }
    painter.setPen(QColor(90, 90, 90));
    painter.drawRect(left - 1, top - 1, bar_width + 1, bottom - top + 2);
    const std::optional<double> end = density_end_amplitude(section, options, prepared);
    const double clip = std::isfinite(options.clip_spacings) && options.clip_spacings > 0
                            ? options.clip_spacings
                            : 1.0;
    const double gain = std::isfinite(options.gain) && options.gain > 0 ? options.gain : 1.0;
    const QString magnitude = end ? QString::number(*end, 'g', 3)
                                  : QString::number(clip / gain, 'g', 3) + QStringLiteral("x peak");
    painter.setPen(Qt::black);
    const int text_width = layout.colour_bar_width() - 2;
    painter.drawText(QRect(left - 4, layout.plot_top(), text_width, text_height),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("+") + magnitude);
    painter.drawText(QRect(left - 4, bottom + 2, text_width, text_height),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("-") + magnitude);
    painter.save();
    painter.translate(left + bar_width + 4, (top + bottom) / 2);
    painter.rotate(90);
    painter.drawText(QRect(-(bottom - top) / 2, -text_height, bottom - top, text_height),
                     Qt::AlignCenter, QStringLiteral("positive black, negative white"));
    painter.restore();
}

void draw_caption(QImage& image, const SectionLayout& layout, const Section& section,
                  const RenderOptions& options) {
    if (layout.caption_top() < 0) return;
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const QRect strip(0, layout.caption_top(), layout.width_px(), SectionLayout::caption_height_px);
    painter.fillRect(strip, QColor(238, 238, 238));
    painter.setPen(Qt::black);
    painter.drawText(strip.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(caption_text(section, options)));
}

}  // namespace

QImage render_section_image(const Section& section, const RenderOptions& options, QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return {};
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.fill(paper);
    const SectionLayout layout(section, options, size.width(), size.height());
    std::vector<std::pair<long, std::int16_t>> separators;
    PreparedSection prepared;
    if (layout.visible_traces() > 0 && layout.plot_width() > 0 && layout.plot_height() > 0) {
        prepared = prepare_section(section, options);
        if (options.mode == DisplayMode::density) {
            draw_density(image, layout, section, prepared, options);
        } else {
            draw_wiggles(image, layout, section, prepared, options);
        }
        draw_missing(image, layout, section);
        separators = draw_separators(image, layout, section);
    }
    if (layout.has_axes() && ensure_gui_application()) {
        draw_axes(image, layout, section, separators);
        if (layout.visible_traces() > 0) draw_colour_bar(image, layout, section, options, prepared);
        draw_caption(image, layout, section, options);
    }
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
