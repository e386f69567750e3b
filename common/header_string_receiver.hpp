#pragma once
// The receiver of every SEG-2 header string, of the file and of each trace. The keyword
// translation is the real one; IgnoreHeaderStrings serves where no table is loaded.

#include <optional>
#include <string_view>

#include "common/trace_header.hpp"

namespace quarvent {

class HeaderStringReceiver {
public:
    enum class Result { go_on, stop_run };

    virtual ~HeaderStringReceiver() = default;
    // s is the whole string as the file holds it (terminating zeros and padding included).
    // stop_run means the string could not be applied and the operator has been told; the
    // run stops.
    [[nodiscard]] virtual Result header_string(std::string_view s, OutputTraceHeader& header,
                                               double& trace_scale_factor) = 0;
    // Said before the first string of each input file, so that a receiver may follow the
    // order in which the files of a batch hold their strings; nothing else depends on it.
    virtual void file_begins() {}
    // The real value that the last string gave word n before it was rounded into the word;
    // none when that string did not write word n from a number. A sample interval of 62.5
    // microseconds is held in its word as 62, and is 125 when doubled, not 124.
    virtual std::optional<float> unrounded_value(int /*n*/) const { return std::nullopt; }
};

class IgnoreHeaderStrings final : public HeaderStringReceiver {
public:
    Result header_string(std::string_view, OutputTraceHeader&, double&) override {
        return Result::go_on;
    }
};

}  // namespace quarvent
