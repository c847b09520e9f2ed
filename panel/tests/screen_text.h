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

// The value a list shows beside its entry `name`, without the spaces
// around it; "no entry <name>" when the screen has no such entry.
inline std::string EntryValue(const std::string& screen, const std::string& name) {
  const size_t at = screen.find(") " + name);
  if (at == std::string::npos) return "no entry " + name;
  const size_t start = at + 2 + name.size();
  std::string v = screen.substr(start, screen.find('\n', start) - start);
  v.erase(0, v.find_first_not_of(' '));
  v.erase(v.find_last_not_of(' ') + 1);
  return v;
}

}  // namespace screen_text
