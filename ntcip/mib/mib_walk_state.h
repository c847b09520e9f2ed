// What a get-next handler hands back to the registry's walk, kept per thread
// like the walk itself.
#pragma once

#include <cstdint>

namespace mib_walk {
extern thread_local uint8_t t_carry_depth;  // trailing indexes that ran out
extern thread_local uint8_t t_column_done;  // a single-index column ran out
}  // namespace mib_walk
