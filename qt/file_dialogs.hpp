#pragma once
// The file dialog the Qt port shows for filelog. The port is given one when it is built:
// the program uses QtFileDialogs, tests a scripted one.

#include "shell/shell_port.hpp"

class QWidget;

namespace quarvent {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Shows the dialog modally in mode with settings as they stand and reports how it ended;
    // a chosen text becomes settings.file_name, the name proposed next time.
    virtual FileDialogResult show(FileDialogMode mode, FileDialogSettings& settings) = 0;
};

// A QFileDialog over parent, centred on it.
class QtFileDialogs final : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget& parent) : parent_(parent) {}
    FileDialogResult show(FileDialogMode mode, FileDialogSettings& settings) override;

private:
    QWidget& parent_;
};

}  // namespace quarvent
