// A database on the manual-clock kernel with the peripheral tables at their
// start-up values, and a trap sender that records what it is given.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/peripheral/peripheral.h"
#include "frame/peripheral/peripheral_trap.h"
#include "rtos_host.h"

struct captured_trap {
  uint32_t generic;
  uint32_t specific;
  struct binding {
    std::vector<uint32_t> oid;
    uint8_t type;
    std::string value;
  };
  std::vector<binding> bindings;
};

class PeripheralTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtos::kernel_config c;
    c.memory_size = 4u << 20;
    rtos::kernel_start(c, [this](void* mem) {
      ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", mem, 2u << 20), OS_SUCCESS);
      ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
    });
    db_ = std::make_unique<CDataBase>(&g_post_office);
    db_->SetStringPool(&pool_);
    peripheral_tables_reset();
    Traps().clear();
    peripheral_set_trap_sender(&Capture);
    SeedDefaults();
  }

  void TearDown() override {
    peripheral_set_trap_sender(nullptr);
    peripheral_set_name_function(nullptr);
    db_.reset();
    rtos::kernel_stop();
  }

  // The volatile defaults of the tables these tests touch.
  void SeedDefaults() {
    for (uint32_t i = 0; i < CPeripheral::kStatusRows; ++i) {
      bool digital = i < CPeripheral::kDigitalRows;
      V(vol::auxIOPortType(i), digital ? 3 : 2);
      V(vol::auxIOPortNumber(i), digital ? i + 1 : i - 111);
      V(vol::auxIOPortDirection(i), 2);
      SetNvString(nv::auxIOPortDescription(i), "UNUSED");
    }
    SetVString(vol::climateFailureMap, std::string(1, '\0'));
    SetNvString(nv::sysLocation, "Unknown");
  }

  uint32_t V(db_object o) { return db_->GetValue(o.offset, o.width, db_->mib_v, 0); }
  void V(db_object o, uint32_t value) { ASSERT_EQ(db_->SetValue(o.offset, o.width, value, db_->mib_v, 0), DB_OK); }
  std::string VString(db_object o) { return Str(o, db_->mib_v); }
  std::string NvString(db_object o) { return Str(o, db_->mib_nv); }
  void SetVString(db_object o, const std::string& s) {
    ASSERT_EQ(db_->SetString(o.offset, o.width, s.data(), static_cast<uint32_t>(s.size()), db_->mib_v, 0), DB_OK);
  }
  void SetNvString(db_object o, const std::string& s) {
    ASSERT_EQ(db_->SetString(o.offset, o.width, s.data(), static_cast<uint32_t>(s.size()), db_->mib_nv, 0), DB_OK);
  }
  std::string Str(db_object o, uint8_t* area) {
    uint32_t len = 0;
    const uint8_t* p = db_->GetString(o.offset, o.width, area, &len);
    return std::string(reinterpret_cast<const char*>(p), len);
  }
  // A bitmap as a string of bytes, for comparisons like Map("\x01\x00").
  static std::string Bytes(std::initializer_list<uint8_t> b) { return std::string(b.begin(), b.end()); }
  uint32_t ShortErrorStatus() { return V(vol::shortErrorStatus); }

  static std::vector<captured_trap>& Traps() {
    static std::vector<captured_trap> traps;
    return traps;
  }

 private:
  static void Capture(uint32_t generic, uint32_t specific, uint32_t count, const peripheral_trap_binding* b) {
    captured_trap t{generic, specific, {}};
    for (uint32_t i = 0; i < count; ++i)
      t.bindings.push_back({std::vector<uint32_t>(b[i].oid, b[i].oid + b[i].oid_length), b[i].type,
                            std::string(reinterpret_cast<const char*>(b[i].value), b[i].length)});
    Traps().push_back(t);
  }

 protected:
  TX_BYTE_POOL pool_{};
  std::unique_ptr<CDataBase> db_;
};
