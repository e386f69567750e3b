#pragma once
// What the fuzz targets share: a screen with nobody at it, a check that stops the process
// (libFuzzer then keeps the input as a crash), a scratch file that holds one input, and the
// fixed keyword table the reader is fuzzed with.

#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "common/ui_port.hpp"
#include "keywords/keyword_table.hpp"

namespace quarvent::fuzzing {

// Prints what did not hold and aborts.
[[noreturn]] void fail(const std::string& what);

// Checks a property of the code under test; unlike assert it stays on in every build.
#define FUZZ_CHECK(condition, what)                                                         \
    do {                                                                                    \
        if (!(condition)) ::quarvent::fuzzing::fail(std::string(#condition ": ") + (what)); \
    } while (false)

// Answers every message box with its first button (OK or Yes) and every prompt with the text
// set for its dialog (empty, that is Cancel, for any other); the window calls are ignored.
// Counts what it was asked.
class SilentUi final : public WindowlessPort {
public:
    SilentUi() = default;
    void answer_prompt(Dialog dialog, std::string answer) {
        prompt_answers_[dialog] = std::move(answer);
    }

    Answer message_box(const MessageBoxRequest& request) override;
    std::string input_prompt(const PromptRequest& request) override;

    int message_boxes() const { return message_boxes_; }
    int prompts() const { return prompts_; }
    const std::string& last_title() const { return last_title_; }

private:
    std::map<Dialog, std::string> prompt_answers_;
    std::string last_title_;
    int message_boxes_ = 0;
    int prompts_ = 0;
};

// A file that lives only in memory (memfd) and is reached through a path, for code that
// takes a path rather than bytes. Reused from input to input.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the contents with bytes.
    void assign(std::span<const std::uint8_t> bytes);
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

// The keyword file shipped with the program, followed by entries whose keywords only the
// fuzzer uses, so that it can reach the translation's error paths: a word list that runs
// past word 120, a word number out of range, an illegal function code, a scale factor.
const KeywordTable& fixed_keyword_table();

}  // namespace quarvent::fuzzing
