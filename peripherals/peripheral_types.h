// The peripheral type registry: what a type id (mib_nv.quorPeripheralID,
// the key of the live list) means. Each type id has a class code, which
// chooses the creator in the factory, and a display name for logs and
// menus; a display name leads back to its type id.
//
// Adding a type: give it a row in the type table of peripheral_types.cpp
// (id, class, display name). Adding a class: its code below, and its
// creator in the factory table of peripheral_factory.cpp.
#pragma once

#include <cstdint>

typedef uint16_t peripheral_type;

// Class codes (the factory key and CPeripheral::m_byClass).
enum peripheral_class : uint8_t {
  PCLASS_NONE = 0,  // no class: the type cannot be created
  PCLASS_ANY = 1,   // not a class: every class, in pl_mediator::FindFirst
  PCLASS_BEACON = 3,
  PCLASS_CLOCK = 4,
  PCLASS_CTRL_PRIMARY = 5,
  PCLASS_CTRL_SECONDARY = 6,
  PCLASS_DCIO = 8,
  PCLASS_CAN_PRODUCT_BOARD = 9,
  PCLASS_DOOR = 10,
  PCLASS_FAN_CONTROL = 11,
  PCLASS_FAN_STATUS = 12,
  PCLASS_FAN_RPM = 13,
  PCLASS_FILE_CONFIG = 14,
  PCLASS_FILE_DIRECTORY = 15,
  PCLASS_FILE_MONRC = 16,
  PCLASS_FILE_MANAGER = 17,
  PCLASS_FILE_SCRIPT = 18,
  PCLASS_GP_OUTPUT = 19,
  PCLASS_BEACON_IO = 20,
  PCLASS_HEATER_CONTROL = 21,
  PCLASS_HEATER_STATUS = 22,
  PCLASS_HUMIDITY = 23,
  PCLASS_IO_BASED = 24,
  PCLASS_ISOLATION = 25,
  PCLASS_LCD_MANAGER = 26,
  PCLASS_LIGHT = 27,
  PCLASS_LVDB = 28,
  PCLASS_MINI_DCIO = 29,
  PCLASS_MODEM = 32,
  PCLASS_OVERHEIGHT = 33,
  PCLASS_TEMPERATURE = 38,
  PCLASS_UPS = 39,
  PCLASS_UPS_INTERNAL = 40,
  PCLASS_RTD = 43,
  PCLASS_RADAR = 44,
  PCLASS_ACIO = 45,
  PCLASS_AUX_BIDIRECT = 46,
  PCLASS_LOW_POWER = 48,
};

// Type ids the task and its callers name.
enum : peripheral_type {
  PTYPE_TEMP_CONTROLLER = 10,
  PTYPE_TEMP_SIGN_MODULES = 16,
  PTYPE_SIGN_POWER_MODE = 29,
  PTYPE_PRODUCT_BOARD_IO = 50,
  PTYPE_LCD = 70,
  PTYPE_CLOCK = 90,
  PTYPE_INTERNAL_MODEM = 91,
  PTYPE_UPS_INTERNAL = 95,
  PTYPE_FILE_DIRECTORY = 300,
  PTYPE_FILE_CONFIG = 301,
  PTYPE_FILE_MONRC = 302,
  PTYPE_FILE_SCRIPT = 303,
  PTYPE_FILE_MANAGER = 304,
  PTYPE_INTAKE_FAN_CONTROL = 510,
  PTYPE_PIXEL_FAN_CONTROL = 518,
  PTYPE_FACE_FAN_CONTROL = 526,
  PTYPE_HEATER_CONTROL = 534,
  PTYPE_MAINTENANCE_HEATER_CONTROL = 542,
  PTYPE_CAN_PRODUCT_BOARD = 610,
  PTYPE_HUMIDITY_AMBIENT = 630,
  PTYPE_HUMIDITY_SIGN = 631,
  PTYPE_SPEED_RADAR = 765,
};

// Class code of a type id; 0 for an id without a class.
uint8_t peripheral_class_of_type(uint16_t type_id);
// Display name of a type id; "UNKNOWN" for an id without a class. Never
// null.
const char* peripheral_name_of_type(uint16_t type_id);
// Type id of a name (exact, case-sensitive); 0 for null or an unknown name.
// Knows a few names of ids that have no class, and two other names.
uint16_t peripheral_type_of_name(const char* name);

// The wrappers other subsystems call.
inline uint8_t peripheral_type_class(uint16_t type_id) { return peripheral_class_of_type(type_id); }
inline const char* peripheral_type_name(uint16_t type_id) { return peripheral_name_of_type(type_id); }
inline uint16_t peripheral_type_from_name(const char* name) { return peripheral_type_of_name(name); }
