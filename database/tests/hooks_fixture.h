// The write hooks on a live database: state is set up around the hooks
// (DB_NO_VALIDATE), the write under test goes through them.
#pragma once

#include <string>

#include "database/tests/db_fixture.h"

class HookTest : public DatabaseTest {
 protected:
  uint8_t* nv() { return db_->mib_nv; }
  uint8_t* vol() { return db_->mib_v; }

  void Put(uint8_t* area, uint32_t offset, uint32_t width, uint32_t v) {
    ASSERT_EQ(db_->SetValue(offset, width, v, area, DB_NO_VALIDATE), DB_OK);
  }
  void PutString(uint8_t* area, uint32_t offset, const std::string& s) {
    ASSERT_EQ(db_->SetString(offset, 4, s.data(), static_cast<uint32_t>(s.size()), area, DB_NO_VALIDATE), DB_OK);
  }
  uint32_t Get(uint8_t* area, uint32_t offset, uint32_t width = 1) { return db_->GetValue(offset, width, area, 0); }

  uint32_t Write(uint8_t* area, uint32_t offset, uint32_t width, uint32_t v) {
    return db_->SetValue(offset, width, v, area, DB_NOTIFY);
  }
  uint32_t WriteString(uint8_t* area, uint32_t offset, const std::string& s) {
    return db_->SetString(offset, 4, s.data(), static_cast<uint32_t>(s.size()), area, DB_NOTIFY);
  }

  // Sign geometry: type, character cell, sign in pixels.
  void Geometry(uint32_t type, uint32_t char_height, uint32_t char_width, uint32_t height, uint32_t width) {
    Put(nv(), 57, 1, type);
    Put(nv(), 60, 1, char_height);
    Put(nv(), 61, 1, char_width);
    Put(nv(), 62, 2, height);
    Put(nv(), 64, 2, width);
  }
};

// Big-endian bytes of sub-identifiers, the form OID objects are stored in.
inline std::string OidBytes(std::initializer_list<uint32_t> subids) {
  std::string s;
  for (uint32_t v : subids) {
    s.push_back(static_cast<char>(v >> 24));
    s.push_back(static_cast<char>(v >> 16));
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v));
  }
  return s;
}
