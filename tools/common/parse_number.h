// Command-line number parsing shared by the tools: the whole text must be a
// number inside [low, high].
#pragma once
#include <charconv>
#include <string_view>

namespace vkt::tools {

template <typename Number>
bool parseNumber(std::string_view text, Number low, Number high, Number& out) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
  out = value;
  return true;
}

}  // namespace vkt::tools
