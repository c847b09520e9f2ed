// The pages under "IP SETTINGS": the controller's address, mask, gateway
// and SNMP port, the central system's address and port, the address mode,
// the NTP server and poll time, and the service switches. The network reads
// most of them only when it starts: a page marks its change with "*", and
// leaving the list after such a change rewrites the boot monitor's start-up
// file and restarts the controller (MSG_NETWORK_CONFIG_CHANGED).
#pragma once

#include <cstdint>

#include "database/objects.h"
#include "panel/menu_bases.h"

// Writes the feature word without change notification (the services read
// it when they start).
void lcd_set_feature_bit(uint32_t bit, bool on);

// A setting whose change needs a restart of the network.
class CLCD_RestartSetting {
 public:
  virtual ~CLCD_RestartSetting() = default;
  // true once a change on the page waits for the restart.
  virtual bool AwaitsRestart() const = 0;
};

class CLCD_EthernetOptions : public CLCD_MenuItemEx {
 public:
  explicit CLCD_EthernetOptions(CLCD_MenuId id);
  // Leaving the list (not into one of its pages) after a change that needs
  // the restart publishes MSG_NETWORK_CONFIG_CHANGED.
  void Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) override;
};

class CLCD_NetworkAddress : public CLCD_SimpleIPAddrBase, public CLCD_RestartSetting {
 public:
  enum kind_e : uint8_t { CONTROLLER_ADDRESS, CONTROLLER_SUBNET, CONTROLLER_GATEWAY, CENTRAL_ADDRESS, NTP_SERVER };

  CLCD_NetworkAddress(CLCD_MenuId id, kind_e kind);
  // The controller's own address, mask and gateway come from DHCP in mode 2.
  void Activate(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void LoadValue() override;
  void StoreValue(CLCD_Manager* mgr) override;
  bool AwaitsRestart() const override;

  kind_e m_eKind;

 private:
  uint32_t InUse() const;
};

class CLCD_NetworkNumber : public CLCD_SimpleNumberEntry, public CLCD_RestartSetting {
 public:
  enum kind_e : uint8_t { CONTROLLER_PORT, CENTRAL_PORT, NTP_POLL_TIME };

  CLCD_NetworkNumber(CLCD_MenuId id, kind_e kind);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void StoreValue(CLCD_Manager* mgr) override;
  bool ValidateValue(CLCD_Manager* mgr) override;
  bool AwaitsRestart() const override;

  kind_e m_eKind;
  uint8_t m_byChanged = 0;
};

class CLCD_EthernetMode : public CLCD_SimpleMenuBase {
 public:
  explicit CLCD_EthernetMode(CLCD_MenuId id);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option) override;

 private:
  CLCD_MenuOption m_Static;
  CLCD_MenuOption m_Dynamic;
};

// A service switched on or off by one bit of the feature word: a wizard of
// one choice, DISABLE or ENABLE.
class CLCD_ServiceEnable : public CLCD_SimpleWizardBase, public CLCD_RestartSetting {
 public:
  // restarts: the service starts only with the network.
  CLCD_ServiceEnable(CLCD_MenuId id, const char* title, uint32_t bit, bool restarts);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;
  bool AwaitsRestart() const override { return m_bRestarts && m_byChanged; }

  // true when ENABLE was chosen.
  bool Enabled() const { return m_Item.choice.selected == 1; }

  CLCD_WizardItem m_Item;
  uint32_t m_dwBit;
  uint8_t m_byChanged = 0;

 private:
  bool m_bRestarts;
};
