// jsoncons's JSON value as the configuration document uses it (wide characters, sorted members),
// with one member made smaller: swapping two values. Include this instead of <jsoncons/json.hpp>.
#pragma once

#include <jsoncons/json.hpp>

#include <cstring>

// jsoncons swaps two values through one copy routine per pair of storage kinds (14 x 14 of them,
// about 12 KB in the stub with their unwind tables), which sorting an object's members and every
// move assignment reach. Each storage kind is a plain record (numbers, inline characters, or
// pointers to the heap parts, which a swap hands over and never copies or frees), so swapping the
// bytes of the two values is the same swap.
template <>
inline void jsoncons::basic_json<wchar_t, jsoncons::sorted_policy, std::allocator<char>>::swap(
    basic_json& other) noexcept {
  if (this == &other) return;
  alignas(basic_json) unsigned char held[sizeof(basic_json)];
  std::memcpy(held, static_cast<void*>(&other), sizeof held);
  std::memcpy(static_cast<void*>(&other), static_cast<void*>(this), sizeof held);
  std::memcpy(static_cast<void*>(this), held, sizeof held);
}
