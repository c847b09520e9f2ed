// The data key's jobs against the controller's own flash file system: the
// running firmware file found by its flags, files read in place and created
// in one write, the 2 MB work block from the general-purpose pool, and the
// quiet around a firmware install (panel suspended, watchdog off,
// interrupts masked on the worker).
#pragma once

#include <string>
#include <vector>

#include "frame/datakey/datakey_jobs.h"

class CLCD_Manager;

class CDataKeyFlashTfs : public DataKeyFlash {
 public:
  // Driver attributes the running firmware file carries: "b", "E" and "p".
  static constexpr uint32_t FIRMWARE_ATTRIBUTES = 0x400 | 0x100 | 0x40;

  bool FirmwareFile(std::string* name) override;
  bool Exists(const std::string& name) override;
  bool Load(const std::string& name, std::vector<uint8_t>* data, uint32_t* flags, uint32_t* time) override;
  bool Create(const std::string& name, uint32_t flags, const uint8_t* data, uint32_t size) override;
  bool Remove(const std::string& name) override;
  uint8_t* TakeBlock() override;
  void ReleaseBlock(uint8_t* block) override;
  void Quiet(bool on) override;

 private:
  unsigned m_uPosture = 0;
  bool m_bWatchdogOff = false;
  CLCD_Manager* m_pPanel = nullptr;  // suspended by the quiet
};

// The panel's data-key jobs on the key in the socket and this flash
// (start-up; the page drives them from then on).
void datakey_install();
