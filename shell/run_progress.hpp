#pragma once
// What the progress panel shows while a conversion runs, and the one-line summary at its
// end. The traces of the whole batch are counted from each input's file descriptor before
// the run; the position advances with every written record and jumps to the start of each
// file's share when its turn begins, so skipped traces do not hold the bar back.

#include <cstdint>
#include <string>
#include <vector>

namespace quarvent {

struct ProgressView {
    long long position = 0;  // traces of the batch done
    long long total = 0;     // traces of the whole batch (0: not known)
    std::string file_line;   // "File 3 of 20"
    std::string file_path;   // the current input, full path
    std::string traces_line;
    std::string time_line;
};

class RunProgress {
public:
    // trace_counts: one per input, in list order (0 for an input that is not SEG-2).
    explicit RunProgress(std::vector<int> trace_counts);

    void file_started(int index, double now_seconds);
    void trace_written(double now_seconds);
    // True when the panel is due for a refresh: a new file began, or a tenth of a second
    // has passed since the last refresh. Marks the refresh as done.
    bool take_refresh(double now_seconds);

    ProgressView view(const std::vector<std::string>& inputs, double now_seconds) const;
    long long traces_written() const { return written_; }
    double start_seconds() const { return start_; }

private:
    std::vector<int> counts_;
    std::vector<long long> before_;  // traces of the files before each one
    long long total_ = 0;
    int file_ = -1;
    long long written_ = 0;
    long long written_in_file_ = 0;
    double start_ = -1;
    double last_refresh_ = -1;
    bool file_changed_ = false;
};

// Whole seconds as m:ss, or h:mm:ss from an hour on.
std::string duration_text(double seconds);
// A count with thousands separated by commas: 1,234,567.
std::string grouped(long long number);

struct RunSummary {
    bool stopped = false;
    int files_complete = 0;
    int files_incomplete = 0;  // kept partly converted, or skipped for a reason of their own
    int files_not_seg2 = 0;    // kept because they are not SEG-2 files
    long long traces_written = 0;
    long long bytes_written = 0;
    double elapsed_seconds = 0;
    // Converted files kept because they were written to or replaced after their conversion.
    int files_changed = 0;
};
std::string summary_text(const RunSummary& summary);

}  // namespace quarvent
