// Tasks of subsystems that are not built yet: the thread, timer and inbox
// of the real task, answering its control letters and checking in with the
// watchdog, so the controller boots with its whole task table.
#pragma once

#include "frame/bus/subscriber.h"
#include "frame/task/task_base.h"

class placeholder_task : public CTaskBase {
 public:
  struct params {
    const char* name;
    const char* start_name;
    uint32_t stack, priority, slice, first, period;
    task_letters_s letters;
    const uint32_t* subscriptions;
  };
  placeholder_task(post_office* router, const params& p);
  int Create(TX_BYTE_POOL* pool);
  int Subscribe() { return m_Inbox.Subscribe(m_Params.subscriptions); }
  int Process() override;
  subscriber& Inbox() { return m_Inbox; }

 private:
  static void Entry(ULONG index);
  params m_Params;
  subscriber m_Inbox;
  uint32_t m_uIndex;
};
