#include "qt/kept_files_dialog.hpp"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/qt_shell_port.hpp"
#include "qt/screen_fit.hpp"

namespace quarvent {

namespace {

// The size the list opens at on a screen with room for it.
constexpr QSize preferred_size{900, 420};
// Room left around a dialog on a small screen.
constexpr int screen_margin = 40;

QSize within(QSize wanted, const QRect& available) {
    if (available.isEmpty()) return wanted;
    return {std::min(wanted.width(), available.width() - screen_margin),
            std::min(wanted.height(), available.height() - screen_margin)};
}

QIcon standard_icon(QMessageBox::Icon icon, const QStyle& style) {
    switch (icon) {
        case QMessageBox::Information:
            return style.standardIcon(QStyle::SP_MessageBoxInformation);
        case QMessageBox::Warning:
            return style.standardIcon(QStyle::SP_MessageBoxWarning);
        case QMessageBox::Critical:
            return style.standardIcon(QStyle::SP_MessageBoxCritical);
        case QMessageBox::Question:
            return style.standardIcon(QStyle::SP_MessageBoxQuestion);
        default:
            return {};
    }
}

}  // namespace

QString kept_files_caption(const std::vector<KeptFile>& kept) {
    const auto not_seg2 =
        std::count_if(kept.begin(), kept.end(), [](const KeptFile& file) { return file.not_seg2; });
    const auto incomplete = static_cast<qsizetype>(kept.size()) - not_seg2;
    QStringList parts;
    if (incomplete > 0) parts << QStringLiteral("%1 kept incomplete").arg(incomplete);
    if (not_seg2 > 0) parts << QStringLiteral("%1 not SEG-2").arg(not_seg2);
    return parts.join(QStringLiteral(", "));
}

KeptFilesDialog::KeptFilesDialog(const std::vector<KeptFile>& kept, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("keptfiles"));
    setWindowTitle(QStringLiteral("Kept Files"));
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(
        QStringLiteral("The last run kept these files, each for the reason beside it:"), this);
    layout->addWidget(heading);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("keptlist"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Reason")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QList<QTreeWidgetItem*> rows;
    for (const KeptFile& file : kept) {
        const QString path = display_text(file.path);
        const QString reason = display_text(file.reason);
        auto* row = new QTreeWidgetItem({path, reason});
        row->setToolTip(0, path);
        row->setToolTip(1, reason);
        rows << row;
        copy_text_ += path + QStringLiteral(": ") + reason + QLatin1Char('\n');
    }
    list_->addTopLevelItems(rows);
    list_->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    list_->header()->setStretchLastSection(true);
    layout->addWidget(list_, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("keptcopy"));
    buttons->addButton(QDialogButtonBox::Close);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(copy_text_); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    const QSize size =
        within(preferred_size, parent != nullptr ? available_area(*parent) : available_area(*this));
    resize(size);
    list_->setColumnWidth(0, size.width() * 3 / 5);
}

QMessageBox::StandardButton exec_scrolling_message(QMessageBox::Icon icon, const QString& title,
                                                   const QString& text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QWidget* parent, const QRect& available) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("scrollingmessage"));
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* row = new QHBoxLayout;
    const QIcon shown = standard_icon(icon, *dialog.style());
    if (!shown.isNull()) {
        auto* picture = new QLabel(&dialog);
        const int extent = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
        picture->setPixmap(shown.pixmap(extent, extent));
        picture->setAlignment(Qt::AlignTop);
        row->addWidget(picture);
    }
    auto* label = new QLabel(text);
    label->setObjectName(QStringLiteral("messagetext"));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setContentsMargins(4, 4, 4, 4);
    auto* scroll = new QScrollArea(&dialog);
    scroll->setObjectName(QStringLiteral("messagescroll"));
    scroll->setWidget(label);
    scroll->setWidgetResizable(true);
    row->addWidget(scroll, 1);
    layout->addLayout(row, 1);

    auto* box = new QDialogButtonBox(&dialog);
    QMessageBox::StandardButton pressed = QMessageBox::NoButton;
    for (QMessageBox::StandardButton button :
         {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
        if (!buttons.testFlag(button)) continue;
        QPushButton* push = box->addButton(static_cast<QDialogButtonBox::StandardButton>(button));
        QObject::connect(push, &QPushButton::clicked, &dialog, [&dialog, &pressed, button] {
            pressed = button;
            dialog.done(QDialog::Accepted);
        });
    }
    layout->addWidget(box);

    // As large as the text asks for, but no taller than three quarters of the available
    // area, so that it reads as a message over the window rather than a window of its own.
    const QSize text_size = label->sizeHint() + QSize(scroll->frameWidth() * 2 + 24, 8);
    QSize wanted(std::max(360, text_size.width() + 80),
                 text_size.height() + box->sizeHint().height() + 40);
    if (!available.isEmpty())
        wanted.setHeight(std::min(wanted.height(), available.height() * 3 / 4));
    dialog.resize(within(wanted, available));
    if (parent != nullptr && parent->isVisible()) {
        QRect place(QPoint(), dialog.size());
        place.moveCenter(parent->geometry().center());
        dialog.move(fitted_into(place, frame_of(dialog), available).topLeft());
    }
    dialog.exec();
    return pressed;
}

}  // namespace quarvent
