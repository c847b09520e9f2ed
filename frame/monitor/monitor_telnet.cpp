// The telnet console: the password prompt of each connection, and the
// connection's typing once it has logged in.
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/monitor/monitor_task.h"

namespace {

const char kPasswordPrompt[] = "\r\nPassword: ";
const char kSuccess[] = "\r\nSUCCESS\r\nVMS>";
const char kFailure[] = "\r\nFAILURE\r\nPassword: ";

// Adds text to a reply when it fits.
template <size_t N>
void Append(char* reply, uint32_t* length, const char (&text)[N]) {
  if (*length + (N - 1) > CTelnetServer::REPLY_SIZE) return;
  std::memcpy(reply + *length, text, N - 1);
  *length += N - 1;
}

}  // namespace

int CMonitorTask::TelnetEventEntry(void* context, uint32_t event, uint32_t connection, const uint8_t* data,
                                   uint32_t length, char* reply, uint32_t* reply_length) {
  return static_cast<CMonitorTask*>(context)->OnTelnetEvent(event, connection, data, length, reply, reply_length);
}

bool CMonitorTask::PasswordMatches(const telnet_session& s) {
  if (!g_pDataBase) return false;
  uint32_t length = 0;
  const uint8_t* stored = g_pDataBase->GetString(nv::communityNameAdmin.offset, 4, g_pDataBase->mib_nv, &length);
  if (!stored) return false;
  // The stored object's own length decides, as text; no password at all
  // lets nobody in.
  length = static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(stored), length));
  return length > 0 && length == s.count && std::memcmp(stored, s.entry, length) == 0;
}

void CMonitorTask::EndTelnetOutput(uint32_t connection) {
  if (m_uTelnetConnection != connection) return;
  m_uTelnetConnection = NO_CONNECTION;
  if (Mode() == MODE_TELNET) SetMode(MODE_CONSOLE);
}

// A wrong password holds back its own connection only: the server's thread,
// which serves every connection, must not wait out the delay.
void CMonitorTask::HoldLogin(uint32_t connection) {
  telnet_session& s = m_aSessions[connection];
  if (!s.hold_timer) {
    s.hold_timer = tx_timer_create(&s.hold, const_cast<char*>("telnet login"), LoginHoldEnded, connection,
                                   LOGIN_FAIL_DELAY, 0, TX_NO_ACTIVATE) == TX_SUCCESS;
  }
  s.held = s.hold_timer && tx_timer_change(&s.hold, LOGIN_FAIL_DELAY, 0) == TX_SUCCESS &&
           tx_timer_activate(&s.hold) == TX_SUCCESS;
}

void CMonitorTask::LoginHoldEnded(ULONG connection) {
  CMonitorTask* self = g_pMonitor;
  if (!self || connection >= NX_TELNET_MAX_CLIENTS) return;
  telnet_session& s = self->m_aSessions[connection];
  if (!s.held) return;
  s.held = false;
  self->m_Telnet.Send(connection, kFailure, sizeof kFailure - 1);
}

int CMonitorTask::OnTelnetEvent(uint32_t event, uint32_t connection, const uint8_t* data, uint32_t length,
                                char* reply, uint32_t* reply_length) {
  uint32_t unused = 0;
  if (!reply_length) reply_length = &unused;
  *reply_length = 0;
  if (event < CTelnetServer::EVENT_END || event > CTelnetServer::EVENT_DATA) return CTelnetServer::HANDLER_UNKNOWN_EVENT;
  if (connection >= NX_TELNET_MAX_CLIENTS) return 0;
  telnet_session& s = m_aSessions[connection];

  if (event == CTelnetServer::EVENT_END || event == CTelnetServer::EVENT_CONNECT) {
    // Only this connection's own session starts over; the others keep
    // their logins and the output stays where it is.
    EndTelnetOutput(connection);
    if (s.held) tx_timer_deactivate(&s.hold);
    s.held = false;
    s.login = event == CTelnetServer::EVENT_CONNECT ? LOGIN_PASSWORD : LOGIN_NONE;
    s.count = 0;
    std::memset(s.entry, 0, sizeof s.entry);
    s.after_cr = false;
    s.prompt.Reset();
    if (event == CTelnetServer::EVENT_CONNECT && reply) Append(reply, reply_length, kPasswordPrompt);
    return 0;
  }

  // Typing during the hold after a wrong password is dropped.
  for (uint32_t i = 0; data && i < length && !s.held; ++i) {
    const uint8_t b = data[i];
    const bool after_cr = s.after_cr;
    s.after_cr = b == '\r';
    if (b == '\n' && after_cr) continue;  // CR LF ends one line
    if (s.login == LOGIN_DONE) {
      // Whoever types gets the output.
      m_uTelnetConnection = connection;
      SetMode(MODE_TELNET);
      s.prompt.PutChar(b);
      continue;
    }
    if (s.login != LOGIN_PASSWORD) continue;
    if (b != '\r' && b != '\n') {
      if (s.count < PASSWORD_MAX) {
        s.entry[s.count++] = static_cast<char>(b);
        if (reply) Append(reply, reply_length, "*");
      }
      continue;
    }
    const bool ok = PasswordMatches(s);
    s.count = 0;
    std::memset(s.entry, 0, sizeof s.entry);
    if (!ok) {
      // Guessing takes time; without a timer the refusal goes out at once.
      HoldLogin(connection);
      if (!s.held && reply) Append(reply, reply_length, kFailure);
      continue;
    }
    s.login = LOGIN_DONE;
    m_uTelnetConnection = connection;
    SetMode(MODE_TELNET);
    if (reply) Append(reply, reply_length, kSuccess);
    // What follows in the same data is typed at the prompt: the reply goes
    // out before its echo.
    if (i + 1 < length && reply && *reply_length) {
      m_Telnet.Send(connection, reply, *reply_length);
      *reply_length = 0;
    }
  }
  return 0;
}
