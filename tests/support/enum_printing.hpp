#pragma once
// GoogleTest printer for the project's enums: a failed check shows a value by its name
// (`stopped`, `yes_no`) rather than as raw bytes. It serves every enum that has a name_of
// overload beside it; GoogleTest finds it by argument-dependent lookup, so a test that
// compares such enums includes this header.

#include <concepts>
#include <ostream>
#include <string_view>
#include <type_traits>

namespace quarvent {

template <typename Enum>
concept NamedEnum = std::is_enum_v<Enum> && requires(Enum value) {
    { name_of(value) } -> std::convertible_to<std::string_view>;
};

// Taken by const reference like GoogleTest's own fallback printer, so that the constraint
// makes this one the better match.
template <NamedEnum Enum>
void PrintTo(const Enum& value, std::ostream* os) {
    const std::string_view name = name_of(value);
    const auto number = static_cast<long long>(static_cast<std::underlying_type_t<Enum>>(value));
    if (name.empty()) {
        *os << "(unnamed value " << number << ")";
    } else {
        *os << name;
    }
}

}  // namespace quarvent

namespace quarvent::render {
// The renderer's enums live in their own namespace; lookup by argument finds the printer
// there through this declaration.
using quarvent::PrintTo;
}  // namespace quarvent::render
