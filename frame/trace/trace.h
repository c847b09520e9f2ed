// The two trace printers. monitor_printf is always shown; monitor_printf_debug
// only at the verbose print level. Text is cut at 199 characters.
#pragma once

#include <string>

int monitor_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int monitor_printf_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where formatted lines go until the monitor task takes over the output, and
// where tests capture them. A null sink writes to standard output.
typedef void (*trace_sink)(int level, const char* text);
void trace_set_sink(trace_sink sink);
// Current print level (0 or 1) used while no monitor task prints.
void trace_set_level(int level);
int trace_level();

// Captures every printed line for the lifetime of the object (tests).
class trace_capture {
 public:
  trace_capture();
  ~trace_capture();
  const std::string& text() const { return m_text; }
  void clear() { m_text.clear(); }
  bool contains(const std::string& s) const { return m_text.find(s) != std::string::npos; }

 private:
  static void sink(int level, const char* text);
  static trace_capture* s_active;
  std::string m_text;
};
