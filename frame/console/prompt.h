// The console's line editor: collects typed characters into a line of at
// most 50, erases with backspace, recalls earlier lines with the cursor keys
// and hands each finished line to its handler (the boot monitor's command
// interpreter), then shows the prompt "VMS>".
#pragma once

#include <cstdint>

#include "frame/util/list.h"

class CPrompt {
 public:
  typedef int (*echo_fn)(int c);
  typedef int (*line_fn)(const char* line, int verbose);

  static constexpr uint32_t LINE_LIMIT = 50;
  // Lines kept for recall; the oldest goes when a newer one would exceed it,
  // so a console in use for months keeps a bounded history.
  static constexpr uint32_t HISTORY_MAX = 32;

  CPrompt(echo_fn echo, line_fn handler);
  virtual ~CPrompt();
  CPrompt(const CPrompt&) = delete;
  CPrompt& operator=(const CPrompt&) = delete;

  void ShowPrompt();
  // One typed character; returns it.
  int PutChar(int c);
  // Forgets the line, the escape state and the history (a new session).
  void Reset();

  const char* Line() const { return m_szLine; }
  uint32_t Length() const { return m_uLength; }
  uint32_t HistoryCount() const { return m_History.count; }

 private:
  void Echo(char c) { m_pfnEcho(static_cast<unsigned char>(c)); }
  void EraseLine();
  void Recall();
  void Remember();
  void ClearHistory();

  LIST m_History{};
  uint8_t m_byEscape = 0;
  char m_szLine[LINE_LIMIT + 1] = {};
  uint32_t m_uLength = 0;
  echo_fn m_pfnEcho;
  line_fn m_pfnLine;
  bool m_bAfterCR = false;  // the LF of a CR LF pair ends no second line
};
