// One list per communication port with the pages that set its speed,
// protocol, handshaking, trap handling and inter-character time-out, and
// show its traffic counters. One page object exists per port; the port
// comes from the page's menu id. Most settings are applied by the
// communication task rebuilding its endpoints; the Ethernet link speed only
// by a restart.
#pragma once

#include <cstdint>

#include "database/objects.h"
#include "panel/menu_bases.h"

enum : uint8_t { LCD_PORT_CCP = 0, LCD_PORT_AUX = 1, LCD_PORT_MODEM = 2, LCD_PORT_LAPTOP = 3, LCD_PORT_ETHERNET = 4 };
constexpr uint8_t kLcdPorts = 5;

// The port whose list holds the page of that menu id; 0 for ids outside
// the port lists.
uint8_t lcd_port_of_menu(CLCD_MenuId id);

// An option list whose option values are the codes of one object per port.
class CLCD_ComPortOptions : public CLCD_SimpleMenuBase {
 public:
  static constexpr uint32_t kMaxPortOptions = 8;

  struct option_text {
    uint32_t value;
    const char* en;
    const char* fr;
  };

  CLCD_ComPortOptions(CLCD_MenuId id, const char* title, const char* title_fr);
  // Stores the port and builds its options.
  virtual void SetPort(uint8_t port);
  // The text of the option the stored code names, else OtherText.
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  // Stores the code and has the communication task rebuild its endpoints.
  void OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option) override;

  uint8_t m_byPort = 0;

 protected:
  virtual const option_text* Options(uint8_t port, uint32_t* count) const = 0;
  virtual db_object Object() const = 0;
  virtual const char* OtherText(CLCD_Manager* mgr, uint32_t code) const;

  CLCD_MenuOption m_aOptions[kMaxPortOptions];
};

class CLCD_ComConfigPort_Baud : public CLCD_ComPortOptions {
 public:
  explicit CLCD_ComConfigPort_Baud(CLCD_MenuId id);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option) override;

 protected:
  const option_text* Options(uint8_t port, uint32_t* count) const override;
  db_object Object() const override;
};

class CLCD_ComConfigPort_Protocol : public CLCD_ComPortOptions {
 public:
  explicit CLCD_ComConfigPort_Protocol(CLCD_MenuId id);

 protected:
  const option_text* Options(uint8_t port, uint32_t* count) const override;
  db_object Object() const override;
  const char* OtherText(CLCD_Manager* mgr, uint32_t code) const override;
};

class CLCD_ComConfigPort_Handshaking : public CLCD_ComPortOptions {
 public:
  explicit CLCD_ComConfigPort_Handshaking(CLCD_MenuId id);

 protected:
  const option_text* Options(uint8_t port, uint32_t* count) const override;
  db_object Object() const override;
};

class CLCD_ComConfigPort_Traps : public CLCD_ComPortOptions {
 public:
  explicit CLCD_ComConfigPort_Traps(CLCD_MenuId id);

 protected:
  const option_text* Options(uint8_t port, uint32_t* count) const override;
  db_object Object() const override;
  const char* OtherText(CLCD_Manager* mgr, uint32_t code) const override;
};

class CLCD_ComConfigPort_Timeout : public CLCD_SimpleNumberEntry {
 public:
  explicit CLCD_ComConfigPort_Timeout(CLCD_MenuId id);
  void SetPort(uint8_t port) { m_byPort = port < kLcdPorts ? port : 0; }
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void StoreValue(CLCD_Manager* mgr) override;
  bool ValidateValue(CLCD_Manager* mgr) override;

  uint8_t m_byPort = 0;
};

// The port's traffic counters (and on the modem port its last caller),
// redrawn while shown.
class CLCD_ComConfigPort_Status : public CLCD_SimpleMenuBase {
 public:
  static constexpr uint32_t kLines = 6;

  explicit CLCD_ComConfigPort_Status(CLCD_MenuId id);
  void SetPort(uint8_t port);
  void DrawOptionValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t index, uint32_t line, uint8_t align) override;

  uint8_t m_byPort = 0;

 private:
  CLCD_MenuOption m_aLines[kLines];
};

// The endpoints that carry the protocol code; the count (0, 1 or 2).
uint32_t lcd_port_endpoints(uint8_t port, uint32_t protocol, const char* names[2]);
