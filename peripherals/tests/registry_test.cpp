// The type registry (classes and display names of type ids, names back to
// ids) and the factory that creates a peripheral by its type's class.
#include <set>

#include "database/files/file_config.h"
#include "database/files/file_directory.h"
#include "database/files/file_manager.h"
#include "database/files/file_monrc.h"
#include "peripherals/clock.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_factory.h"
#include "peripherals/tests/peripheral_fixture.h"

namespace {

TEST(PeripheralTypes, ClassAndNameOfTypeIds) {
  struct Row {
    uint16_t id;
    uint8_t class_code;
    const char* name;
  } rows[] = {
      {1, 27, "LGHTAMBIENT"},         {16, 38, "TEMPSIGNMODS"},         {25, 39, "UPS TRIPP LITE"},
      {29, 48, "SIGN POWER MODE"},    {37, 10, "DOOR SWITCH 8"},        {50, 8, "PROD BRD IO"},
      {55, 8, "HCB 01"},              {70, 26, "LCD01"},                {90, 4, "CLOCK01"},
      {95, 40, "UPS INTERNAL1"},      {155, 27, "LGHTLINE6"},           {175, 29, "MINI I/O LINE 6"},
      {185, 10, "DOOR SWITCH LINE 6"}, {300, 15, "DIRECTORY FILE"},     {301, 14, "CONFIG FILE"},
      {303, 18, "SCRIPT FILE"},       {304, 17, "FILE MANAGER"},        {518, 11, "PIXEL FAN1 CONTROL"},
      {542, 21, "MAINTENANCE HEATER1 CONTROL"},                         {546, 22, "MAINTENANCE HEATER1 STATUS"},
      {610, 9, "CAN PRODUCT BOARD"},  {620, 32, "EXTERNAL DIALUP MODEM"}, {634, 23, "HUMIDITY SIGN3"},
      {660, 19, "GP OUTPUT01"},       {669, 19, "GP OUTPUT10"},         {699, 28, "POWER LVDB20"},
      {730, 13, "RPM SENSOR 01"},     {745, 13, "RPM SENSOR 16"},       {760, 43, "REAL TIME DATA INPUT"},
      {792, 5, "CTRL COMM PRIMARY"},  {793, 6, "CTRL COMM SECONDARY"},  {801, 25, "ISOLATION BOARD 8"},
      // No class: never created, named UNKNOWN.
      {0, 0, "UNKNOWN"},              {4, 0, "UNKNOWN"},                {38, 0, "UNKNOWN"},
      {56, 0, "UNKNOWN"},             {92, 0, "UNKNOWN"},               {156, 0, "UNKNOWN"},
      {746, 0, "UNKNOWN"},            {802, 0, "UNKNOWN"},              {65535, 0, "UNKNOWN"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(peripheral_type_class(r.id), r.class_code) << r.id;
    EXPECT_STREQ(peripheral_type_name(r.id), r.name) << r.id;
  }
}

TEST(PeripheralTypes, TypeOfName) {
  struct Row {
    const char* name;
    uint16_t id;
  } rows[] = {
      {"LCD01", 70},
      {"lcd01", 0},  // exact case
      {"CLOCK01", 90},
      {"DC I/O 1", 50},  // accepted in place of PROD BRD IO
      {"DISTRIBUTION BOARD", 610},
      {"PROD BRD IO", 0},
      {"CAN PRODUCT BOARD", 0},
      {"SIGN POWER MODE", 0},  // its class is not asked
      {"LUXLGHTLINE1", 156},   // a name, but no class
      {"DC I/O 6", 56},
      {"INTAKE FAN3 CONTROL", 512},
      {"RPM SENSOR 17", 810},
      {"RPM SENSOR 48", 841},
      {"FLOW SENSOR24", 863},
      {"CTRL COMM SECONDARY", 793},
      {"MINI DC I/O 6", 595},
      {"", 0},
      {"CLOCK01 ", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(peripheral_type_from_name(r.name), r.id) << r.name;
  EXPECT_EQ(peripheral_type_from_name(nullptr), 0);
}

TEST(PeripheralTypes, EveryDisplayNameLeadsBackToItsId) {
  // Except the three display names that no class accepts.
  const std::set<uint16_t> refused = {29, 50, 610};
  uint32_t named = 0;
  for (uint32_t id = 0; id <= 0xFFFF; ++id) {
    if (peripheral_type_class(static_cast<uint16_t>(id)) == 0) continue;
    ++named;
    const uint16_t back = peripheral_type_from_name(peripheral_type_name(static_cast<uint16_t>(id)));
    EXPECT_EQ(back, refused.count(static_cast<uint16_t>(id)) ? 0 : id) << id;
  }
  EXPECT_EQ(named, 175u);
}

TEST(PeripheralTypes, BuiltClassesAgreeWithTheRegistry) {
  EXPECT_STREQ(CClock::NameOfType(90), peripheral_type_name(90));
  EXPECT_STREQ(CFile_Directory::NameOfType(300), peripheral_type_name(300));
  EXPECT_STREQ(CFile_Config::NameOfType(301), peripheral_type_name(301));
  EXPECT_STREQ(CFile_Monrc::NameOfType(302), peripheral_type_name(302));
  EXPECT_STREQ(CFile_Manager::NameOfType(304), peripheral_type_name(304));
  EXPECT_EQ(CClock::TypeOfName("CLOCK01"), 90);
  EXPECT_EQ(CClock::TypeOfName("CLOCK02"), 0);
}

TEST(PeripheralFactory, OneRowPerClass) {
  std::set<uint8_t> classes;
  for (uint32_t i = 0; i < peripheral_factory_table_size; ++i) {
    EXPECT_TRUE(classes.insert(peripheral_factory_table[i].class_code).second)
        << int(peripheral_factory_table[i].class_code);
  }
  EXPECT_EQ(peripheral_factory_table_size, 36u);
  // Every class of a type id has its row.
  for (uint32_t id = 0; id <= 0xFFFF; ++id) {
    if (uint8_t c = peripheral_type_class(static_cast<uint16_t>(id))) {
      EXPECT_TRUE(classes.count(c)) << id;
    }
  }
  // Every class a record can name has its creator here, but the front
  // panel's (installed by the panel) and the modem's.
  for (uint32_t i = 0; i < peripheral_factory_table_size; ++i) {
    const pl_creator& row = peripheral_factory_table[i];
    if (row.class_code != PCLASS_LCD_MANAGER && row.class_code != PCLASS_MODEM)
      EXPECT_NE(row.create, nullptr) << int(row.class_code);
  }
  pl_factory factory;
  peripheral_register_factories(&factory);
  EXPECT_EQ(factory.Count(), 36u);
  EXPECT_EQ(factory.Register(nullptr), 0);
}

using PeripheralFactoryTest = PeripheralTest;

TEST_F(PeripheralFactoryTest, CreatesByTheTypesClass) {
  pl_factory factory;
  peripheral_register_factories(&factory);
  pl_record clock_record;
  clock_record.type_id = 90;
  clock_record.class_code = peripheral_type_class(90);
  CPeripheral* clock = nullptr;
  ASSERT_EQ(factory.Create(clock_record, &clock), 1);
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(clock->m_wTypeId, 90);
  EXPECT_EQ(clock->m_byClass, 4);
  EXPECT_EQ(clock->m_wConfigSlot, 65535);
  EXPECT_EQ(clock->m_byEnabled, 1);
  delete clock;

  // A file creator checks the type as well as the class.
  pl_record wrong_file;
  wrong_file.type_id = 305;
  wrong_file.class_code = 14;
  CPeripheral* out = reinterpret_cast<CPeripheral*>(0x1);
  EXPECT_EQ(factory.Create(wrong_file, &out), 0);
  EXPECT_EQ(out, nullptr);
}

TEST_F(PeripheralFactoryTest, UnknownAndUnbuiltClassesAreRefused) {
  pl_factory factory;
  peripheral_register_factories(&factory);
  CPeripheral* const untouched = reinterpret_cast<CPeripheral*>(0x1);
  for (uint16_t type : {uint16_t{56}, uint16_t{0}, uint16_t{70}}) {
    pl_record record;
    record.type_id = type;
    record.class_code = peripheral_type_class(type);
    CPeripheral* out = untouched;
    EXPECT_EQ(factory.Create(record, &out), 0) << type;
    EXPECT_EQ(out, untouched) << type;
  }
  // A creator registered later serves a class the table leaves empty.
  RegisterTestRows(&factory);
  pl_record record;
  record.type_id = 70;
  record.class_code = peripheral_type_class(70);
  record.parameters = "5";
  CPeripheral* out = nullptr;
  ASSERT_EQ(factory.Create(record, &out), 1);
  EXPECT_EQ(out->m_wTypeId, 70);
  EXPECT_EQ(out->m_wPollInterval, 5);
  delete out;
}

}  // namespace
