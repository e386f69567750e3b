#include "fuzz/fuzz_support.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace quarvent::fuzzing {

void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

Answer SilentUi::message_box(const MessageBoxRequest& request) {
    ++message_boxes_;
    last_title_ = request.title;
    switch (request.buttons) {
        case Buttons::ok:
        case Buttons::ok_cancel:
            return Answer::ok;
        case Buttons::yes_no:
        case Buttons::yes_no_cancel:
            return Answer::yes;
    }
    return Answer::ok;
}

std::string SilentUi::input_prompt(const PromptRequest& request) {
    ++prompts_;
    last_title_ = request.title;
    const auto answer = prompt_answers_.find(request.dialog);
    return answer == prompt_answers_.end() ? std::string() : answer->second;
}

ScratchFile::ScratchFile() {
    fd_ = ::memfd_create("quarvent-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) fail("memfd_create");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

ScratchFile::~ScratchFile() {
    if (fd_ >= 0) ::close(fd_);
}

void ScratchFile::assign(std::span<const std::uint8_t> bytes) {
    if (::ftruncate(fd_, 0) != 0) fail("ftruncate");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) fail("pwrite");
        done += static_cast<std::size_t>(n);
    }
}

const KeywordTable& fixed_keyword_table() {
    static const KeywordTable table = [] {
        KeywordLoadResult loaded = load_keyword_table(QUARVENT_FUZZ_KEYWORD_FILE);
        if (!loaded.table) fail("the keyword file " QUARVENT_FUZZ_KEYWORD_FILE " does not load");
        KeywordTable result = std::move(*loaded.table);
        const auto entry = [](const char* keyword, std::int16_t code, std::int32_t p1,
                              std::int32_t p2) {
            KeywordEntry e;
            e.keyword = keyword;
            e.function_code = code;
            e.params[0] = p1;
            e.params[1] = p2;
            return e;
        };
        const KeywordEntry extra[] = {
            entry("QVF_LIST ", 3, 117, 1),         // the fourth number would go to word 121
            entry("QVF_WORD ", 1, 121, 1),         // no such word
            entry("QVF_NEGATIVE ", 1, -1, 1),      // nor this one
            entry("QVF_ILLEGAL ", 9, 1, 1),        // no such function code
            entry("QVF_SCALE ", 5, 1, 0),          // the trace's samples times the value
            entry("QVF_BIG ", 1, 20, 2147483647),  // any value but 0 overflows the word
        };
        for (const KeywordEntry& e : extra) {
            if (!result.add(e)) fail("the fixed keyword table is full");
        }
        return result;
    }();
    return table;
}

}  // namespace quarvent::fuzzing
