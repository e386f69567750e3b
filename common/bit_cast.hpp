#pragma once
// quarvent::bit_cast: the object representation of a value read as another type of the same
// size. It is std::bit_cast where the C++ library has it; the C++ library of the WebAssembly
// build predates it, and there the compiler's builtin (which std::bit_cast wraps) serves.

#include <bit>
#include <type_traits>

namespace quarvent {

#if defined(__cpp_lib_bit_cast)
using std::bit_cast;
#else
template <typename To, typename From>
requires(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<To> &&
         std::is_trivially_copyable_v<From>) constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
#endif

}  // namespace quarvent
