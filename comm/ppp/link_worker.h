// The worker thread that serves the byte-stream links of one kind (PPP, or
// PMPP): at most ten links, each with a row and its bit in the worker's
// event flags. A link's receive hook or timer sets its bit; the worker
// wakes and serves every registered row once per pass. Its stack comes from
// the communication's "thread stacks" pool when the first link registers.
#pragma once

#include <cstdint>

#include "tx_api.h"

constexpr uint32_t LINK_WORKER_ROWS = 10;
constexpr uint32_t LINK_WORKER_STACK = 5120;

struct link_worker {
  const char* kind;         // "ppp" or "pmpp", for the traces
  const char* thread_name;  // "PPP RX WORKER THREAD"
  const char* events_name;  // "PPP Worker Events"
  void (*entry)(ULONG);     // the thread's entry: link_worker_run on this worker
  void (*serve)(void* link);
  uint8_t stage = 0;
  void* rows[LINK_WORKER_ROWS] = {};
  TX_THREAD thread{};
  TX_EVENT_FLAGS_GROUP events{};
  bool events_created = false;
};

// Creates the worker on first use and gives the link a free row: the row,
// or LINK_WORKER_ROWS when none is left (traced). The link's wake-up is
// `*bit` (1 << row) in `*events`, both left alone without a row.
uint32_t link_worker_register(link_worker* worker, void* link, UINT priority, TX_EVENT_FLAGS_GROUP** events,
                              ULONG* bit);
// Takes the link out of its row.
void link_worker_remove(link_worker* worker, uint32_t row, void* link);
// The link of a row, or null.
void* link_worker_row(link_worker* worker, uint32_t row);
// Forgets the rows and the thread (a new kernel in the same process).
void link_worker_forget(link_worker* worker);
bool link_worker_in(const link_worker* worker);
// Clears the bit; true when it was set.
bool link_worker_take_bit(TX_EVENT_FLAGS_GROUP* group, ULONG bit);
// One pass over the rows.
void link_worker_pass(link_worker* worker);
// The thread's body: waits for the event flags and makes a pass, for ever.
void link_worker_run(link_worker* worker);
