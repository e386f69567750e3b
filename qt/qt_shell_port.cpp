#include "qt/qt_shell_port.hpp"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>

#include "inspect/section_loader.hpp"
#include "qt/kept_files_dialog.hpp"
#include "qt/qt_main_window.hpp"
#include "qt/screen_fit.hpp"
#include "qt/trace_display_window.hpp"
#include "shell/trace_view.hpp"

namespace quarvent {

namespace {

constexpr int item_bytes_role = Qt::UserRole;

// Positions beyond any screen are refused rather than handed to the window system.
constexpr double largest_twips = 1440.0 * 100000;

QMessageBox::Icon qt_icon(Icon icon) {
    switch (icon) {
        case Icon::none:
            return QMessageBox::NoIcon;
        case Icon::information:
            return QMessageBox::Information;
        case Icon::exclamation:
            return QMessageBox::Warning;
        case Icon::critical:
            return QMessageBox::Critical;
        case Icon::question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qt_buttons(Buttons buttons) {
    switch (buttons) {
        case Buttons::ok:
            return QMessageBox::Ok;
        case Buttons::ok_cancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case Buttons::yes_no:
            return QMessageBox::Yes | QMessageBox::No;
        case Buttons::yes_no_cancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// What closing a box without pressing a button means: the answer that goes on the least.
Answer dismissed_answer(Buttons buttons) {
    switch (buttons) {
        case Buttons::ok:
            return Answer::ok;
        case Buttons::ok_cancel:
        case Buttons::yes_no_cancel:
            return Answer::cancel;
        case Buttons::yes_no:
            return Answer::no;
    }
    return Answer::cancel;
}

// A caption as a message text: CR LF and lone CR become the widget's line break.
QString message_text(std::string_view text) {
    QString shown = display_text(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

bool blank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

// A dialog parented to a window that is shown opens centred over it by itself. Before the
// window is shown (the messages of start-up) it is centred over the place the window will
// take, and kept on its screen.
void centre_over(QWidget& dialog, const QWidget& window) {
    if (window.isVisible()) return;
    dialog.adjustSize();
    QRect place(QPoint(), dialog.size());
    place.moveCenter(window.geometry().center());
    if (const QScreen* screen = window.screen()) {
        const QRect room = screen->availableGeometry();
        place.moveLeft(std::clamp(place.left(), room.left(),
                                  std::max(room.left(), room.right() - place.width())));
        place.moveTop(std::clamp(place.top(), room.top(),
                                 std::max(room.top(), room.bottom() - place.height())));
    }
    dialog.move(place.topLeft());
}

// An input list entry: the file's name first, then its folder.
QString entry_text(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return path;
    const QString name = path.mid(slash + 1);
    const QString folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
    return name + QStringLiteral("  \u2014  ") + folder;
}

}  // namespace

QString display_text(std::string_view text) {
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (!utf8.hasError()) return decoded;
    return QString::fromLatin1(bytes);
}

std::string program_text(const QString& text) { return QFile::encodeName(text).toStdString(); }

QStringList qt_name_filters(std::string_view filter_list) {
    const QStringList parts = display_text(filter_list).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        // The patterns go into a trailing parenthesis, which the dialog reads and hides
        // (HideNameFilterDetails), so that the description shows exactly as written.
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

QtShellPort::QtShellPort(QtMainWindow& window, FileDialogs& dialogs)
    : window_(window), file_dialogs_(dialogs) {}

QtShellPort::~QtShellPort() {
    if (hourglass_) QApplication::restoreOverrideCursor();
}

Answer QtShellPort::message_box(const MessageBoxRequest& request) {
    if (delegate_ != nullptr) return delegate_->message_box(request);
    QMessageBox box(qt_icon(request.icon),
                    display_text(request.title.empty() ? default_title : request.title),
                    message_text(request.text), qt_buttons(request.buttons), &window_);
    box.setTextFormat(Qt::PlainText);
    // A text that grows with the input (a list of missing files) could make the box taller
    // than the screen, its buttons out of reach: it is then shown in a scrolling area.
    const QRect available = available_area(window_);
    const QSize wanted = box.sizeHint();
    if (!available.isEmpty() &&
        (wanted.height() > available.height() - 60 || wanted.width() > available.width() - 20)) {
        return answer_of(exec_scrolling_message(box.icon(), box.windowTitle(), box.text(),
                                                box.standardButtons(), &window_, available),
                         request.buttons);
    }
    centre_over(box, window_);
    box.exec();
    return answer_of(box.standardButton(box.clickedButton()), request.buttons);
}

Answer QtShellPort::answer_of(int button, Buttons buttons) {
    switch (static_cast<QMessageBox::StandardButton>(button)) {
        case QMessageBox::Ok:
            return Answer::ok;
        case QMessageBox::Cancel:
            return Answer::cancel;
        case QMessageBox::Yes:
            return Answer::yes;
        case QMessageBox::No:
            return Answer::no;
        default:
            return dismissed_answer(buttons);
    }
}

std::string QtShellPort::input_prompt(const PromptRequest& request) {
    if (delegate_ != nullptr) return delegate_->input_prompt(request);
    QInputDialog dialog(&window_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(display_text(request.title.empty() ? default_title : request.title));
    QString label = message_text(request.prompt);
    if (!request.detail.empty()) label += QStringLiteral("\n\n") + message_text(request.detail);
    dialog.setLabelText(label);
    dialog.setTextValue(display_text(request.proposed));
    // A long prompt wraps within a width that suits reading, and the dialog takes the
    // height its text needs, instead of one line as wide as the whole prompt.
    if (auto* shown = dialog.findChild<QLabel*>()) {
        shown->setWordWrap(true);
        const QRect available = available_area(window_);
        const int width = available.isEmpty() ? 520 : std::min(520, available.width() - 80);
        shown->setFixedWidth(std::max(200, width));
    }
    dialog.adjustSize();
    centre_over(dialog, window_);
    if (dialog.exec() != QDialog::Accepted) return {};
    return program_text(dialog.textValue());
}

void QtShellPort::text1_append(std::string_view text) {
    QString shown;
    if (pending_cr_ && !text.empty() && text.front() != '\n') shown += QLatin1Char('\n');
    if (!text.empty()) pending_cr_ = false;
    std::string_view rest = text;
    // A CR at the end may be the first half of a CR LF that the next append completes.
    if (!rest.empty() && rest.back() == '\r') {
        pending_cr_ = true;
        rest.remove_suffix(1);
    }
    shown += message_text(rest);
    QPlainTextEdit* edit = window_.text1();
    QTextCursor cursor = edit->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shown);
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

void QtShellPort::text1_clear() {
    window_.text1()->clear();
    pending_cr_ = false;
}

void QtShellPort::set_text1_visible(bool visible) { window_.text1()->setVisible(visible); }

void QtShellPort::set_label3_caption(std::string_view caption) {
    set_label_caption(Control::Label3, caption);
}

void QtShellPort::set_label3_visible(bool visible) {
    window_.label(Control::Label3)->setVisible(visible);
}

void QtShellPort::list1_select(int index) {
    QListWidget* list = window_.list1();
    if (index < 0 || index >= list->count()) {
        list->clearSelection();
        list->setCurrentRow(-1);
        return;
    }
    list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

void QtShellPort::set_mouse_pointer(MousePointer pointer) {
    const bool hourglass = pointer == MousePointer::hourglass;
    if (hourglass == hourglass_) return;
    hourglass_ = hourglass;
    if (hourglass) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

bool QtShellPort::yield_events() {
    if (!ended_) QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !ended_;
}

FileDialogResult QtShellPort::filelog_show(FileDialogMode mode, FileDialogSettings& settings) {
    return file_dialogs_.show(mode, settings);
}

// Beside the port, whose helpers (text conversion, centring) it shares.
FileDialogResult QtFileDialogs::show(FileDialogMode mode, FileDialogSettings& filelog) {
    QFileDialog dialog(&parent_, display_text(filelog.title), display_text(filelog.initial_dir));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = qt_name_filters(filelog.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const auto index = static_cast<qsizetype>(filelog.filter_index) - 1;
        dialog.selectNameFilter(filters.value(index >= 0 && index < filters.size() ? index : 0));
    }
    dialog.setDefaultSuffix(display_text(filelog.default_ext));
    if (mode == FileDialogMode::open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(filelog.multi_select ? QFileDialog::ExistingFiles
                                                : QFileDialog::ExistingFile);
    } else {
        // The run itself warns before it appends to an existing file.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (!blank(filelog.file_name)) dialog.selectFile(display_text(filelog.file_name));

    FileDialogResult result;
    centre_over(dialog, parent_);
    if (dialog.exec() != QDialog::Accepted) {
        if (filelog.cancel_reported) return result;  // cancelled
        result.outcome = FileDialogResult::Outcome::chosen;
        result.directory = program_text(dialog.directory().absolutePath());
        return result;
    }
    result.outcome = FileDialogResult::Outcome::chosen;
    const QStringList chosen = dialog.selectedFiles();
    // The folder of the chosen file, which differs from the one shown when the operator
    // typed a path into another folder.
    result.directory = program_text(chosen.isEmpty() ? dialog.directory().absolutePath()
                                                     : QFileInfo(chosen.front()).absolutePath());
    // This dialog has no fixed buffer for the names: every chosen name comes back, however
    // long the text, so names_lost stays false.
    constexpr std::size_t no_limit = std::string::npos;
    if (chosen.size() == 1) {
        result.text = compose_file_dialog_text(
            program_text(QFileInfo(chosen.front()).absolutePath()),
            {program_text(QFileInfo(chosen.front()).fileName())}, no_limit);
    } else if (!chosen.isEmpty()) {
        // The names share one directory when the operator picked them in one listing;
        // names typed with paths of their own are given relative to the root.
        const QString directory = QFileInfo(chosen.front()).absolutePath();
        bool shared = true;
        for (const QString& path : chosen)
            shared = shared && QFileInfo(path).absolutePath() == directory;
        std::vector<std::string> names;
        for (const QString& path : chosen) {
            names.push_back(shared ? program_text(QFileInfo(path).fileName())
                                   : program_text(QFileInfo(path).absoluteFilePath().mid(1)));
        }
        result.text = compose_file_dialog_text(shared ? program_text(directory) : std::string("/"),
                                               names, no_limit);
    }
    filelog.file_name = result.text;
    return result;
}

void QtShellPort::set_menu_caption(Menu menu, std::string_view caption) {
    // A leading backspace puts a menu-bar item at the right-hand end of the bar.
    const bool at_right = !caption.empty() && caption.front() == '\b';
    if (at_right) caption.remove_prefix(1);
    const QString text = display_text(caption);
    if (QMenu* drop_down = window_.menu(menu)) drop_down->setTitle(text);
    if (QAction* item = window_.action(menu)) item->setText(text);
    if (menu == Menu::help) window_.set_help_at_right(at_right);
}

std::string QtShellPort::menu_caption(Menu menu) const {
    const QAction* item = window_.action(menu);
    if (item == nullptr) return {};
    std::string caption = program_text(item->text());
    if (menu == Menu::help && window_.help_at_right()) caption.insert(0, 1, '\b');
    return caption;
}

void QtShellPort::set_menu_checked(Menu menu, bool checked) {
    if (QAction* item = window_.action(menu)) {
        item->setCheckable(true);
        item->setChecked(checked);
    }
}

bool QtShellPort::menu_checked(Menu menu) const {
    const QAction* item = window_.action(menu);
    return item != nullptr && item->isChecked();
}

std::string QtShellPort::show_trace_display(const TraceDisplayRequest& request) {
    if (request.report == nullptr || request.receiver == nullptr || request.last < request.first) {
        return "nothing to show";
    }
    // A QEX output is indexed and read a page at a time; a SEG-2 recording's traces are read
    // now, while the receiver of its strings is at hand.
    auto pages = std::make_unique<FileSectionPages>(*request.report, *request.receiver,
                                                    request.last - request.first + 1);
    if (!pages->problem().empty()) return pages->problem();
    // A window of its own beside the main window, which deletes itself when closed.
    auto* display = new TraceDisplayWindow(std::move(pages), trace_display_limit, &window_);
    display->setObjectName(QStringLiteral("traceDisplay"));
    display->setAttribute(Qt::WA_DeleteOnClose);
    // Opens within the available area of the main window's screen, on a small one too.
    QRect place(QPoint(), display->size());
    place.moveCenter(window_.geometry().center());
    display->setGeometry(fitted_into(place, frame_of(*display), available_area(window_)));
    display->show();
    return {};
}

void QtShellPort::set_menu_enabled(Menu menu, bool enabled) {
    if (QAction* item = window_.action(menu)) item->setEnabled(enabled);
}

bool QtShellPort::menu_enabled(Menu menu) const {
    const QAction* item = window_.action(menu);
    return item != nullptr && item->isEnabled();
}

void QtShellPort::set_label_caption(Control label, std::string_view caption) {
    QLabel* widget = window_.label(label);
    if (widget == nullptr) return;
    widget->setText(message_text(caption));
    // The output path may be longer than its label; the tip shows all of it.
    widget->setToolTip(widget->text());
}

std::string QtShellPort::label_caption(Control label) const {
    const QLabel* widget = window_.label(label);
    return widget != nullptr ? program_text(widget->text()) : std::string{};
}

void QtShellPort::list1_add(std::string_view item) {
    const QString path = display_text(item);
    auto* entry = new QListWidgetItem(entry_text(path));
    entry->setToolTip(path);
    entry->setData(item_bytes_role, QByteArray(item.data(), static_cast<qsizetype>(item.size())));
    window_.list1()->addItem(entry);
}

void QtShellPort::list1_remove(int index) {
    QListWidget* list = window_.list1();
    if (index < 0 || index >= list->count()) return;
    delete list->takeItem(index);
    // Like a list box, removing an item leaves nothing selected; the logic selects again.
    list->clearSelection();
}

void QtShellPort::list1_clear() { window_.list1()->clear(); }

int QtShellPort::list1_count() const { return window_.list1()->count(); }

std::string QtShellPort::list1_item(int index) const {
    const QListWidgetItem* entry = window_.list1()->item(index);
    if (entry == nullptr) return {};
    return entry->data(item_bytes_role).toByteArray().toStdString();
}

std::vector<int> QtShellPort::list1_selection() const {
    std::vector<int> rows;
    for (const QModelIndex& index : window_.list1()->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

double QtShellPort::control_left(Control control) const {
    const QWidget* widget = window_.control(control);
    return widget != nullptr ? pixels_to_twips(widget->x(), twips_per_pixel_x()) : 0.0;
}

bool QtShellPort::set_control_left(Control control, double twips) {
    QWidget* widget = window_.control(control);
    if (widget == nullptr || !(std::fabs(twips) <= largest_twips)) return false;
    widget->move(to_pixels_x(twips), widget->y());
    window_.place_companions();
    return true;
}

void QtShellPort::set_progress_visible(bool visible) {
    window_.place_companions();
    window_.progress_panel()->setVisible(visible);
}

void QtShellPort::show_progress(const ProgressView& progress) { window_.show_progress(progress); }

void QtShellPort::set_status_message(std::string_view text) {
    window_.show_status_message(display_text(text));
}

void QtShellPort::set_status_note(std::string_view text) {
    window_.status_note()->setText(display_text(text));
    window_.status_note()->setVisible(!text.empty());
}

void QtShellPort::set_kept_files(const std::vector<KeptFile>& kept) {
    window_.set_kept_files(kept);
}

void QtShellPort::set_options_in_force(std::string_view text) {
    window_.options_in_force()->setText(display_text(text));
    window_.options_in_force()->setVisible(!text.empty());
}

void QtShellPort::fit_window_into_screen() {
    const QRect fitted =
        fitted_into(window_.geometry(), frame_of(window_), available_area(window_));
    if (fitted == window_.geometry()) return;
    given_rect_ = WindowRect{window_left(), window_top(), window_width(), window_height()};
    window_.setGeometry(fitted);
    fitted_rect_ = window_.geometry();
    if (on_size_changed) on_size_changed();
}

WindowRect QtShellPort::window_rect_to_save() const {
    if (given_rect_ && window_.geometry() == fitted_rect_) return *given_rect_;
    return ShellPort::window_rect_to_save();
}

void QtShellPort::set_menu_visible(Menu menu, bool visible) {
    if (QAction* item = window_.action(menu)) item->setVisible(visible);
}

int QtShellPort::list1_selected() const {
    const QList<QListWidgetItem*> selected = window_.list1()->selectedItems();
    if (selected.isEmpty()) return -1;
    return window_.list1()->row(selected.front());
}

double QtShellPort::twips_per_pixel_x() const {
    const int dpi = window_.logicalDpiX();
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

double QtShellPort::twips_per_pixel_y() const {
    const int dpi = window_.logicalDpiY();
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

int QtShellPort::to_pixels_x(double twips) const {
    return twips_to_pixels(twips, twips_per_pixel_x());
}

int QtShellPort::to_pixels_y(double twips) const {
    return twips_to_pixels(twips, twips_per_pixel_y());
}

// The window's geometry is its client rectangle (geometry(), menu bar included), not the
// frame around it: the frame is known only once the window system has shown the window, so
// a frame size set at start-up would be taken for the client size and the window would grow
// by its frame on every start. The client rectangle is set and read back alike at any time.
double QtShellPort::window_left() const {
    return pixels_to_twips(window_.geometry().x(), twips_per_pixel_x());
}
double QtShellPort::window_top() const {
    return pixels_to_twips(window_.geometry().y(), twips_per_pixel_y());
}
double QtShellPort::window_width() const {
    return pixels_to_twips(window_.geometry().width(), twips_per_pixel_x());
}
double QtShellPort::window_height() const {
    return pixels_to_twips(window_.geometry().height(), twips_per_pixel_y());
}

void QtShellPort::set_window_left(double twips) {
    if (!(std::fabs(twips) <= largest_twips)) return;
    QRect client = window_.geometry();
    client.moveLeft(to_pixels_x(twips));
    window_.setGeometry(client);
}

void QtShellPort::set_window_top(double twips) {
    if (!(std::fabs(twips) <= largest_twips)) return;
    QRect client = window_.geometry();
    client.moveTop(to_pixels_y(twips));
    window_.setGeometry(client);
}

void QtShellPort::set_window_width(double twips) {
    if (!(twips >= 0 && twips <= largest_twips)) return;
    window_.resize(std::max(1, to_pixels_x(twips)), window_.height());
    if (on_size_changed) on_size_changed();
}

void QtShellPort::set_window_height(double twips) {
    if (!(twips >= 0 && twips <= largest_twips)) return;
    window_.resize(window_.width(), std::max(1, to_pixels_y(twips)));
    if (on_size_changed) on_size_changed();
}

double QtShellPort::control_width(Control control) const {
    const QWidget* widget = window_.control(control);
    return widget != nullptr ? pixels_to_twips(widget->width(), twips_per_pixel_x()) : 0.0;
}

double QtShellPort::control_height(Control control) const {
    const QWidget* widget = window_.control(control);
    return widget != nullptr ? pixels_to_twips(widget->height(), twips_per_pixel_y()) : 0.0;
}

bool QtShellPort::set_control_width(Control control, double twips) {
    QWidget* widget = window_.control(control);
    if (widget == nullptr || !(twips >= 0 && twips <= largest_twips)) return false;
    widget->resize(to_pixels_x(twips), widget->height());
    window_.place_companions();
    return true;
}

bool QtShellPort::set_control_height(Control control, double twips) {
    QWidget* widget = window_.control(control);
    if (widget == nullptr || !(twips >= 0 && twips <= largest_twips)) return false;
    widget->resize(widget->width(), to_pixels_y(twips));
    window_.place_companions();
    return true;
}

void QtShellPort::close_window() {
    // Queued, so that the command that asks for it has returned when the window closes.
    QMetaObject::invokeMethod(&window_, &QWidget::close, Qt::QueuedConnection);
}

void QtShellPort::end_program() {
    ended_ = true;
    window_.hide();
    QCoreApplication::exit(0);
}

}  // namespace quarvent
