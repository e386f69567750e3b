// Placeholder until the decoders land: every trace decodes to no samples, and the interval
// is accepted as it stands.
#include "engine/sample_decoding.hpp"

namespace quarvent {

DecodeResult decode_trace_samples(const TraceToDecode&, std::int16_t, SampleArrays&, UiPort&,
                                  StatusLog&) {
    return DecodeResult::decoded;
}

IntervalResult check_sample_interval(OutputTraceHeader&, ManualInterval&, UiPort&, StatusLog&) {
    return IntervalResult::ready;
}

}  // namespace quarvent
