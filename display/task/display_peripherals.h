// What the display task asks of the peripheral task: the brightness
// derating of its temperature protection and the module-temperature
// peripheral it keeps for the current module generation. The peripheral
// task fills these in when it comes up; until then the brightness is not
// derated and no peripheral is made or removed.
#pragma once

#include <cstdint>

struct display_peripheral_links {
  // The derating percentage: 100 normally, 50 while the sign is hot, 0 at
  // the temperature shut-off.
  uint8_t (*derating_percent)() = nullptr;
  // Whether a peripheral of the type is live (CPeripheralTask::GetPeripheral).
  bool (*is_live)(uint32_t type_id) = nullptr;
  // CPeripheralTask::CreatePeripheral with its parameter text.
  int (*create)(uint32_t type_id, const char* parameters) = nullptr;
  // pl_mediator::Remove: true when one was removed.
  bool (*remove)(uint32_t type_id) = nullptr;
  // CPeripheralTask::ClearAllGPOutputRequests.
  void (*clear_gp_output_requests)() = nullptr;
  // Whether the sign power-mode peripheral is live and out of its normal mode.
  bool (*low_power_active)() = nullptr;
  // CLowPowerMode::ClearPowerLossActivation, when that peripheral is live.
  void (*clear_power_loss_activation)() = nullptr;
  // Whether a speed radar is live; null: there is none.
  bool (*radar_live)() = nullptr;
};

extern display_peripheral_links g_display_peripherals;

// The derating percentage in force (100 without a peripheral task).
uint8_t display_derating_percent();

// Whether the device MULTI field n reads is present: the ambient, cabinet
// or housing temperature sensors, the speed radar. Without a peripheral
// task every field's device counts as present.
bool display_field_device(uint32_t field);

// The peripheral type of the module temperatures ("TEMPSIGNMODS").
constexpr uint32_t PERIPHERAL_SIGN_MODULE_TEMPERATURES = 16;
