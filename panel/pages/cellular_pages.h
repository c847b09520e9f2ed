// The cellular modem on the Ethernet side: the switch of the modem feature,
// the page that has the modem task detect and activate the modem, and the
// three carrier wizards that collect the activation values. The page and
// the modem task meet only through the task's event flags (requests 1
// detect, 8 activate; one result flag per answer) and database objects.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"
#include "panel/pages/network_pages.h"

// What the pages use of the modem task. Null members read as a controller
// without the task: requests go nowhere and every detection finds no modem.
struct lcd_modem_source {
  void (*request)(uint32_t bits);
  // Takes the result flag: true when it was set (it is then cleared).
  bool (*take)(uint32_t bit);
  const char* (*model)();
  const char* (*esn)();
  const char* (*phone)();
  uint8_t (*carrier)();
  const char* (*carrier_name)();
};
// Null: the controller's modem task.
void lcd_set_modem_source(const lcd_modem_source* source);

class CLCD_ModemActivationEnable : public CLCD_ServiceEnable {
 public:
  explicit CLCD_ModemActivationEnable(CLCD_MenuId id);
  // The modem takes the Ethernet side: DHCP and SNMP port 3001 with it,
  // fixed address and port 161 without; both take a restart.
  void Finish(CLCD_Manager* mgr) override;
};

class CLCD_ModemActivation : public CMenuItem {
 public:
  enum state_e : uint8_t {
    DETECTING = 1,
    FOUND = 2,
    ACTIVATED = 3,
    ACTIVATING = 4,
    SUCCESS = 5,
    NO_MODEM = 6,
    TIMED_OUT = 7,
    WEAK_SIGNAL = 8,
    NOT_SUPPORTED = 9,
    INVALID = 10,
  };

  explicit CLCD_ModemActivation(CLCD_MenuId id);
  // Only with the modem feature.
  bool HasRights(CLCD_Manager* mgr) override;
  // Starts the activation a wizard asked for, else a detection.
  void Activate(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  // Runs every tick: takes the task's answers and animates the waits.
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  uint8_t m_byState = DETECTING;
  uint8_t m_byPending = 0;
  uint8_t m_byDrawnState = 0;
  uint8_t m_byPhase = 0;

 private:
  void Restart(CLCD_Manager* mgr, uint8_t state);
  void DrawModem(CLCD_Manager* mgr, CLCD* lcd);
};

// The activation values of one carrier, handed to the modem task through
// volatile objects; returning to the modem page then starts the activation.
class CLCD_ModemCarrierWizard : public CLCD_SimpleWizardBase {
 public:
  enum carrier_e : uint8_t { VERIZON, ATT, SPRINT };
  static constexpr uint32_t kItems = 3;
  static constexpr uint32_t kTextSize = 31;  // one line of 30 and its end

  CLCD_ModemCarrierWizard(CLCD_MenuId id, carrier_e carrier);
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;

  carrier_e m_eCarrier;
  CLCD_WizardItem m_aItems[kItems];
  char m_aszText[kItems][kTextSize] = {};
};
