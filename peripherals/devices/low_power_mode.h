// The sign's power mode ("SIGN POWER MODE", type 29, class 48): what the
// sign shows while the cabinet runs on battery. Seven battery polls put the
// power-loss message into activation slot 4; after the backup time the
// blank message replaces it; eight mains polls clear slot 4 and put the
// short or long power-recovery message into slot 6.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

class CLowPowerMode : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 48 };
  enum : uint16_t { TYPE_ID = 29 };
  enum : uint32_t {
    MODE_NORMAL = 0,
    MODE_LOSS_DEBOUNCE = 1,
    MODE_MESSAGE_SHOWN = 2,
    MODE_BLANK_NOW = 3,
    MODE_BLANKED = 4,
    MODE_POWER_BACK = 5,
    MODE_RECOVERY_DEBOUNCE = 6,
  };
  static constexpr uint32_t kLossSlot = 4;
  static constexpr uint32_t kRecoverySlot = 6;
  static constexpr uint8_t kSourceLoss = 13;
  static constexpr uint8_t kSourceRecovery = 10;
  static constexpr uint32_t kDebouncePolls = 6;
  static constexpr uint16_t kBackupNever = 65535;

  CLowPowerMode();
  ~CLowPowerMode() override;

  static CPeripheral* Create(const pl_record& record);
  static const char* NameOfType(uint16_t type_id);

  int Init();
  void Poll() override;
  // 1 when slot 4 was written.
  int ActivatePowerLossMessage();
  void BlankPowerLoss();
  // Slot 4's code back to 12 zero bytes.
  static void ClearPowerLossActivation();

  uint32_t Mode() const { return m_dwMode; }
  uint32_t Counter() const { return m_dwCounter; }

  // The display's state word; 3 ends the backup time early. Default: 0.
  static void SetDisplayStateQuery(uint32_t (*query)());

 private:
  void Recover();
  static void WriteSlot(uint32_t slot, uint8_t source, uint8_t requester, const uint8_t* code);

  uint32_t m_dwCounter = 0;
  uint8_t m_byActivated = 0;
  uint32_t m_dwMode = MODE_NORMAL;
  int64_t m_llLossTime = 0;
  int64_t m_llRestoreTime = 0;
};
