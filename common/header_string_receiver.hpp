#pragma once
// The receiver of every SEG-2 header string, of the file and of each trace. The keyword
// translation is the real one; IgnoreHeaderStrings serves where no table is loaded.

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
};

class IgnoreHeaderStrings final : public HeaderStringReceiver {
public:
    Result header_string(std::string_view, OutputTraceHeader&, double&) override {
        return Result::go_on;
    }
};

}  // namespace quarvent
