#include "common/natural_order.hpp"

namespace quarvent {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// -1, 0 or 1 as a's digit run starting at i compares with b's starting at j, by value; both
// indices move past their runs.
int compare_digit_runs(std::string_view a, std::size_t& i, std::string_view b, std::size_t& j) {
    while (i < a.size() && a[i] == '0') ++i;
    while (j < b.size() && b[j] == '0') ++j;
    const std::size_t a_start = i;
    const std::size_t b_start = j;
    while (i < a.size() && is_digit(a[i])) ++i;
    while (j < b.size() && is_digit(b[j])) ++j;
    const std::size_t a_length = i - a_start;
    const std::size_t b_length = j - b_start;
    if (a_length != b_length) return a_length < b_length ? -1 : 1;
    const int order = a.substr(a_start, a_length).compare(b.substr(b_start, b_length));
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

}  // namespace

bool natural_less(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            const int order = compare_digit_runs(a, i, b, j);
            if (order != 0) return order < 0;
            continue;
        }
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[j]);
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return j < b.size();
    return a < b;
}

}  // namespace quarvent
