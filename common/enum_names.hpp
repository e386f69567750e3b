#pragma once
// Name tables for enums whose values run 0, 1, 2, ... without gaps. Each such enum has one
// constexpr table of its values' names, in the order of the values, reached through a
// name_of overload beside the enum (or a function of its own where the names are texts the
// program shows). A table built with enum_names must name every value: a missing or extra
// name is a compile error, so a value added to the enum cannot go without its name.

#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>

namespace quarvent {

// The table for an enum whose last value is Last: one name a value, from the value 0.
template <auto Last, typename... Names>
requires std::is_enum_v<decltype(Last)>
consteval std::array<std::string_view, sizeof...(Names)> enum_names(Names... names) {
    static_assert(sizeof...(Names) == static_cast<std::size_t>(Last) + 1,
                  "an enum's name table names each of its values once");
    return {std::string_view(names)...};
}

// The name of value in table; fallback for a value outside the table.
template <typename Enum, std::size_t N>
requires std::is_enum_v<Enum>
constexpr std::string_view name_in(const std::array<std::string_view, N>& table, Enum value,
                                   std::string_view fallback = {}) {
    const auto index = static_cast<std::underlying_type_t<Enum>>(value);
    if (!std::in_range<std::size_t>(index)) return fallback;
    const auto position = static_cast<std::size_t>(index);
    return position < N ? table[position] : fallback;
}

}  // namespace quarvent
