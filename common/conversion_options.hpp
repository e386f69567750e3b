#pragma once

#include <cstdint>

namespace quarvent {

// The operator's choices for a conversion, set from the Options menu and never saved.
struct ConversionOptions {
    std::int16_t resample_factor = 1;  // 1, 2 or 4
    bool delete_inputs = false;
    float record_end_ms = 0.0F;  // 0 keeps each record's original length
    // Our own addition: clear the trace header to zeros at the start of each input file, so
    // that a word a file does not set never carries over from the file before. Off by
    // default: one header then serves the whole run.
    bool fresh_header_per_file = false;
};

}  // namespace quarvent
