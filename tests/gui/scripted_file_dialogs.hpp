#pragma once
// The file dialog of a window under test: the outcomes a ScriptedShellUi has queued, with the
// settings recorded there; or, once a test asks for it, the real QFileDialog over the window.

#include <QWidget>
#include <memory>

#include "qt/file_dialogs.hpp"
#include "tests/support/scripted_shell_ui.hpp"

namespace quarvent::testing {

class ScriptedFileDialogs final : public FileDialogs {
public:
    explicit ScriptedFileDialogs(ScriptedShellUi& script) : script_(script) {}

    // From now on the real dialog shows, over window.
    void use_real_dialogs(QWidget& window) { real_ = std::make_unique<QtFileDialogs>(window); }

    FileDialogResult show(FileDialogMode mode, FileDialogSettings& settings) override {
        if (real_) return real_->show(mode, settings);
        return script_.filelog_show(mode, settings);
    }

private:
    ScriptedShellUi& script_;
    std::unique_ptr<QtFileDialogs> real_;
};

}  // namespace quarvent::testing
