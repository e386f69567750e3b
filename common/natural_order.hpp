#pragma once
// File names in the order people count them: a run of digits compares by its value, so
// that "9.sg2" comes before "10.sg2" and "1.dat" ... "1001.dat" keep the order an instrument
// wrote them in.

#include <string_view>

namespace quarvent {

// True when a comes before b. Runs of digits compare by value (leading zeros aside), every
// other byte by its code; names equal that way ("01" and "1") fall back to their bytes, so
// that the order is total.
bool natural_less(std::string_view a, std::string_view b);

}  // namespace quarvent
