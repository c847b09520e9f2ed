#include "frame/console/prompt.h"

#include <cstring>
#include <new>

namespace {

constexpr char BS = 8, LF = 10, CR = 13, ESC = 27, DEL = 127;

}  // namespace

CPrompt::CPrompt(echo_fn echo, line_fn handler) : m_pfnEcho(echo), m_pfnLine(handler) {
  list_init(&m_History, LIST_TYPE, 0);
}

CPrompt::~CPrompt() {
  ClearHistory();
  list_destroy(&m_History);
}

void CPrompt::ClearHistory() {
  while (m_History.head) {
    list_node* n = m_History.head;
    delete[] reinterpret_cast<char*>(n->item);
    list_remove(&m_History, n);
  }
}

void CPrompt::Reset() {
  ClearHistory();
  m_byEscape = 0;
  m_uLength = 0;
  m_szLine[0] = 0;
  m_bAfterCR = false;
}

void CPrompt::ShowPrompt() {
  if (!m_pfnEcho) return;
  for (const char* p = "VMS>"; *p; ++p) Echo(*p);
}

void CPrompt::EraseLine() {
  for (uint32_t i = 0; i < m_uLength; ++i) {
    Echo(BS);
    Echo(' ');
    Echo(BS);
  }
  m_uLength = 0;
  m_szLine[0] = 0;
}

void CPrompt::Recall() {
  EraseLine();
  list_node* newest = m_History.tail;
  if (!newest) return;
  const char* text = reinterpret_cast<const char*>(newest->item);
  size_t n = text ? std::strlen(text) : 0;
  if (n > LINE_LIMIT) n = LINE_LIMIT;
  std::memcpy(m_szLine, text, n);
  m_szLine[n] = 0;
  m_uLength = static_cast<uint32_t>(n);
  delete[] text;
  list_remove(&m_History, newest);
  for (uint32_t i = 0; i < m_uLength; ++i) Echo(m_szLine[i]);
}

void CPrompt::Remember() {
  char* copy = new (std::nothrow) char[m_uLength + 1];
  if (!copy) return;  // no memory: the line is simply not kept
  std::memcpy(copy, m_szLine, m_uLength + 1);
  list_node* node = nullptr;
  if (list_add(&m_History, &node) != LIST_OK) {
    delete[] copy;
    return;
  }
  node->item = reinterpret_cast<uintptr_t>(copy);
  while (m_History.count > HISTORY_MAX) {
    list_node* oldest = m_History.head;
    delete[] reinterpret_cast<char*>(oldest->item);
    list_remove(&m_History, oldest);
  }
}

int CPrompt::PutChar(int c) {
  if (!m_pfnEcho) return c;
  const char ch = static_cast<char>(c);
  const bool after_cr = m_bAfterCR;
  m_bAfterCR = false;
  if (m_byEscape) {
    if (ch == '[') return c;
    m_byEscape = 0;
    // The last letters of the cursor-up and cursor-down sequences.
    if (ch == 'A' || ch == 'B') Recall();
    return c;
  }
  switch (ch) {
    case BS:
    case DEL:  // what most terminals send for their backspace key
      if (m_uLength) {
        m_szLine[--m_uLength] = 0;
        Echo(BS);
        Echo(' ');
        Echo(BS);
      }
      break;
    case LF:
    case CR:
      // Terminals end a line with CR, LF or CR LF: the pair is one end.
      if (ch == LF && after_cr) break;
      m_bAfterCR = ch == CR;
      m_szLine[m_uLength] = 0;
      if (m_uLength) Remember();
      Echo(CR);
      Echo(LF);
      if (m_pfnLine) m_pfnLine(m_szLine, 0);
      ShowPrompt();
      m_uLength = 0;
      m_szLine[0] = 0;
      break;
    case ESC:
      m_byEscape = 1;
      break;
    case 0:
      break;  // a zero would end the line's text early
    default:
      if (m_uLength < LINE_LIMIT) {
        m_szLine[m_uLength++] = ch;
        m_szLine[m_uLength] = 0;
        Echo(ch);
      }
      break;
  }
  return c;
}
