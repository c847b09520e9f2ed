// Expected lines of the simulated unit's screen.
#pragma once

#include <string>
#include <vector>

namespace screen_text {

// The text from column lead + 1, padded to 40 columns.
inline std::string Line(const std::string& text, unsigned lead = 0) {
  std::string s = std::string(lead, ' ') + text;
  s.resize(40, ' ');
  return s;
}
// Centred as CLCD::Printf with alignment 3 writes it on a cleared line.
inline std::string Centred(const std::string& text) {
  const int column = (42 - static_cast<int>(text.size())) / 2;
  return Line(text, column > 1 ? static_cast<unsigned>(column - 1) : 0);
}
inline std::string Screen(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}
inline const std::string kBlank = Line("");

}  // namespace screen_text
