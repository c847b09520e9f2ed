// The configured peripheral records as the panel's tests read them: type id
// to record text. Call in a kernel thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "peripherals/pl_iterator.h"

using peripheral_records = std::map<uint16_t, std::string>;

inline peripheral_records read_peripheral_records() {
  peripheral_records out;
  pl_iterator it;
  pl_record r;
  while (it.Next(&r)) out[r.type_id] = r.parameters ? r.parameters : "";
  return out;
}
