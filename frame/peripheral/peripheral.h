// The polled-object base of every field device and built-in file service,
// and the status tables that peripherals publish in the parameter database:
// the auxiliary I/O port table and the fan, climate-control, light,
// humidity and temperature tables with their failure bitmaps and the
// summary bits of shortErrorStatus.
//
// Only the peripheral task's thread creates, polls and destroys peripherals
// and calls the table operations; the database serialises each access.
#pragma once

#include <cstdint>

#include "frame/bus/letter.h"

enum peripheral_state : uint8_t {
  PERIPHERAL_SETTING_UP = 0,
  PERIPHERAL_INIT_ERROR = 1,
  PERIPHERAL_READING = 2,
  PERIPHERAL_COMM_ERROR = 3,
  PERIPHERAL_READING_ALT = 5,  // some classes use 5 while reading; same text
  PERIPHERAL_VALID = 6,
};

// Rows a database-configured peripheral owns in the auxiliary I/O table,
// as kept in quorPeripheralAuxIOTableIndex [slot].
struct aux_index_list {
  static constexpr uint32_t kCapacity = 136;
  uint32_t count = 0;
  uint32_t rows[kCapacity] = {};
  // 1 appended, 0 the list is full.
  int Append(uint32_t row);
};

class CPeripheral {
 public:
  // Creators allocate with new (std::nothrow) and test for null.
  CPeripheral(uint8_t class_code, uint16_t type_id);
  // Signals flag 0x40 of the "database" event flags: the set of live
  // peripherals changed.
  virtual ~CPeripheral();

  virtual const char* GetVersionText();
  virtual uint32_t GetCanAddress();
  virtual uint8_t GetCanBus();
  virtual void OnEvent(letter_s* letter);
  virtual void Poll() = 0;
  virtual void OnInput();
  virtual void OnTimer(uint32_t argument);
  // "<type name> is currently enabled|disabled"; subclasses print their own
  // lines after it.
  virtual void ShowStatus();
  virtual void SetEnabled(uint8_t enabled);

  int IsValid() const { return m_byState == PERIPHERAL_VALID; }
  // Stores the state's text; 1 when the state is VALID.
  int GetStateText(const char** text) const;
  // 1 INIT ERROR, 2 COMM ERROR, else 0.
  uint32_t GetErrorCode() const;
  // The display name of this peripheral's type (the type registry's).
  const char* TypeName() const;

  // One peripheral-task cycle: while enabled, counts the countdown up to the
  // interval and, once it has reached it, restarts it and calls Poll.
  // 1 when Poll was called (the task then reports GetErrorCode).
  int PollCycle();

  // Splits a parameter text into at most 8 comma-separated hexadecimal
  // fields. The results stay in the shared buffers below until the next
  // call: absent fields read 0 and the empty text. A null text changes
  // nothing.
  static void ParseParameters(const char* text);
  static constexpr uint32_t kParamFields = 8;
  static constexpr uint32_t kParamTextSize = 40;  // 39 characters and a zero
  static uint32_t s_dwParamValues[kParamFields];
  static char s_szParamTexts[kParamFields][kParamTextSize];

  // --- auxiliary I/O port table (peripheral_status_table)
  static constexpr uint32_t kStatusRows = 136;
  static constexpr uint32_t kDigitalRows = 112;  // rows 0..111, port type 3
  static constexpr uint32_t kAnalogRows = 24;    // rows 112..135, port type 2
  static constexpr uint32_t kRowBuiltin = 65535;
  static constexpr uint32_t kRowAny = 0xFFFFFFFF;
  enum : uint32_t { PORT_OTHER = 1, PORT_ANALOG = 2, PORT_DIGITAL = 3 };
  enum : uint8_t { DIR_OUTPUT = 1, DIR_INPUT = 2, DIR_BIDIRECTIONAL = 3 };

  // *row: kRowBuiltin (built-ins, before any database-configured
  // peripheral), kRowAny (first free row of the port type) or a remembered
  // row. 1 with the row in *row, 0 refused.
  static int RegisterStatus(uint32_t* row, uint32_t port_type, uint8_t direction, uint8_t resolution,
                            const char* format, ...) __attribute__((format(printf, 5, 6)));
  // Frees a row ("UNUSED", values cleared); rows outside the table are
  // ignored. The caller resets its own row variable.
  static void UnregisterStatus(uint32_t row);
  // Writes the value (and the last commanded state of an output or
  // bidirectional row); 0 for a row outside the table.
  static int SetStatusValue(uint32_t row, uint32_t value);

  // quorPeripheralAuxIOTableIndex [slot]: 1 read / stored, 0 for a slot
  // outside the records or a list that does not fit the object.
  static int GetAuxIOIndexList(uint16_t slot, aux_index_list* list);
  static int SetAuxIOIndexList(uint16_t slot, const aux_index_list* list);
  // "0x5,0x70" <-> {5, 112}; "0x" is optional when reading.
  static void ParseIndexList(const char* text, aux_index_list* list);
  // 1 written; 0 the text needs more than size bytes (out holds "").
  static int FormatIndexList(const aux_index_list* list, char* out, uint32_t size);
  // Reads hexadecimal digits at *cursor and moves it past them; 1 when at
  // least one digit was read.
  static int ParseHex(const char** cursor, uint32_t* value);
  // 1 and the digit's value, or 0 and value 0 for any other character.
  static int HexDigit(char c, uint32_t* value);

  // --- sensor and climate status tables. Row variables are -1 for none;
  // setters return 1 after writing and 0 for a row of -1 or beyond the
  // group; getters return 0xFFFFFFFF then.
  static constexpr int32_t kMaxFanRows = 64;
  static constexpr int32_t kMaxClimateRows = 32;
  static constexpr int32_t kMaxLightRows = 12;
  static constexpr int32_t kMaxHumidityRows = 6;
  static constexpr int32_t kMaxTemperatureRows = 12;
  enum : uint16_t {
    SES_LIGHT = 0x0040,
    SES_TEMP_WARNING = 0x0200,
    SES_CLIMATE = 0x0400,
    SES_TEMP_CRITICAL = 0x0800,
    SES_HUMIDITY = 0x4000,
  };

  // 1 registered (or *row already held a row), 0 the group is full.
  static int RegisterFanRow(int32_t* row);
  static int RegisterClimateRow(int32_t* row, const char* description, const char* status_text, uint8_t type);
  static int RegisterLightRow(int32_t* row, const char* description);
  static int RegisterHumidityRow(int32_t* row, const char* description);
  // Each gives the row back and sets *row to -1.
  static void UnregisterFanRow(int32_t* row);
  static void UnregisterClimateRow(int32_t* row);
  static void UnregisterLightRow(int32_t* row);
  static void UnregisterHumidityRow(int32_t* row);

  // A fan failure also marks the climate row it belongs to; the first one
  // while no climate failure is set sends the fan-failure trap.
  static int SetFanBitmapBit(int32_t fan_row, int32_t climate_row, const char* text);
  static int ClearFanBitmapBit(int32_t fan_row, int32_t climate_row, const char* text);
  static int SetClimateBitmapBit(int32_t row, const char* text);
  static int ClearClimateBitmapBit(int32_t row, const char* text);
  static int SetLightBitmapBit(int32_t row);
  static int ClearLightBitmapBit(int32_t row);
  static int SetHumidityBitmapBit(int32_t row);
  static int ClearHumidityBitmapBit(int32_t row);
  static int SetTemperatureBitmapBit(int32_t row);
  static int ClearTemperatureBitmapBit(int32_t row);
  static int SetTemperatureFlagBitA(int32_t row);  // warning map, bit 9
  static int ClearTemperatureFlagBitA(int32_t row);
  static int SetTemperatureFlagBitB(int32_t row);  // critical map, bit 11
  static int ClearTemperatureFlagBitB(int32_t row);

  // Climate-table columns of a climate row.
  static int SetFanRowText(int32_t row, const char* text);  // 3
  static int SetFanRowByte(int32_t row, uint8_t value);     // 4
  static uint32_t GetFanRowByte(int32_t row);
  static int SetClimateRowByteA(int32_t row, uint8_t value);  // 5
  static uint32_t GetClimateRowByteA(int32_t row);
  static int SetClimateRowByteB(int32_t row, uint8_t value);  // 6
  static uint32_t GetClimateRowByteB(int32_t row);
  static int SetClimateRowText(int32_t row, const char* text);  // 7

  // Fields, in their firmware order.
  const char* m_pszStatusText;  // eight characters, "      ON"
  uint8_t m_byClass;
  uint16_t m_wTypeId;
  uint16_t m_wVersion;     // reported by the device, 0 until then
  uint16_t m_wConfigSlot;  // record slot, 65535 for a built-in
  uint16_t m_wPollInterval;
  uint16_t m_wPollCountdown;
  uint8_t m_byEnabled;
  uint8_t m_byFromDatabase;
  uint8_t m_byState;
};

// The type registry's display names, installed by the peripheral task; until
// then every type reads "UNKNOWN".
typedef const char* (*peripheral_name_function)(uint16_t type_id);
void peripheral_set_name_function(peripheral_name_function fn);

// Restores the power-up state of the registration phase, the built-in row
// counters and the fan count. The controller starts with it; tests call it.
void peripheral_tables_reset();
