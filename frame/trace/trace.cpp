#include "frame/trace/trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "frame/monitor/monitor_task.h"

namespace {

trace_sink g_sink = nullptr;
int g_level = 0;

// Formats on the caller's stack so concurrent printers never share a buffer.
int emit(int level, const char* format, va_list args) {
  char line[200];
  int n = vsnprintf(line, sizeof line, format, args);
  if (g_sink) {
    if (level > (g_pMonitor ? static_cast<int>(g_pMonitor->PrintLevel()) : g_level)) return 0;
    g_sink(level, line);
  } else if (g_pMonitor) {
    return g_pMonitor->Print(level, line);
  } else {
    if (level > g_level) return 0;
    fputs(line, stdout);
    fflush(stdout);
  }
  return n;
}

}  // namespace

int monitor_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = emit(0, format, args);
  va_end(args);
  return n;
}

int monitor_printf_debug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = emit(1, format, args);
  va_end(args);
  return n;
}

void trace_set_sink(trace_sink sink) { g_sink = sink; }
void trace_set_level(int level) { g_level = level; }
int trace_level() { return g_level; }

trace_capture* trace_capture::s_active = nullptr;
static std::mutex g_capture_mutex;

trace_capture::trace_capture() {
  s_active = this;
  trace_set_sink(&trace_capture::sink);
}

trace_capture::~trace_capture() {
  trace_set_sink(nullptr);
  s_active = nullptr;
}

void trace_capture::sink(int, const char* text) {
  std::lock_guard<std::mutex> lk(g_capture_mutex);
  if (s_active) s_active->m_text += text;
}
