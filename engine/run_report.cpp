#include "engine/conversion_run.hpp"

namespace quarvent {

RunTotals run_totals(const RunReport& report) {
    RunTotals totals;
    for (const InputResult& input : report.inputs) {
        switch (input.status) {
            case InputStatus::converted:
                ++totals.converted;
                break;
            case InputStatus::partial:
                ++totals.partial;
                break;
            case InputStatus::skipped:
                ++totals.skipped;
                break;
            case InputStatus::not_reached:
                ++totals.not_reached;
                break;
        }
        totals.traces_written += input.traces_written;
        totals.traces_skipped += input.traces_skipped;
        if (input.first_ssn && !totals.first_ssn) totals.first_ssn = input.first_ssn;
        if (input.last_ssn) totals.last_ssn = input.last_ssn;
    }
    return totals;
}

}  // namespace quarvent
