#pragma once
// The files the last run kept, each with its reason, opened from the status bar's summary,
// and the message box of our own that shows a text too long for the screen in a scrolling
// area.

#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <vector>

#include "shell/run_log.hpp"

class QTreeWidget;

namespace quarvent {

class KeptFilesDialog final : public QDialog {
    Q_OBJECT

public:
    KeptFilesDialog(const std::vector<KeptFile>& kept, QWidget* parent);

    // What Copy puts on the clipboard: one "path: reason" line a file.
    QString copy_text() const { return copy_text_; }
    QTreeWidget* list() const { return list_; }

private:
    QTreeWidget* list_ = nullptr;
    QString copy_text_;
};

// The caption of the status bar's button that opens the list: "3 kept incomplete",
// "1 not SEG-2", or both; empty when nothing was kept.
QString kept_files_caption(const std::vector<KeptFile>& kept);

// A message box that shows text in a scrolling area, so that it is never taller or wider
// than available; same title, icon and buttons as the box it stands in for. Returns the
// button pressed, or NoButton when it was closed otherwise.
QMessageBox::StandardButton exec_scrolling_message(QMessageBox::Icon icon, const QString& title,
                                                   const QString& text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QWidget* parent, const QRect& available);

}  // namespace quarvent
