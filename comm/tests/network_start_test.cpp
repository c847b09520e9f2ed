// The network start-up when the memory of its stacks and caches cannot be
// had: it says so and stops, with no instance, server or endpoint started.
#include <gtest/gtest.h>

#include "comm/comm_task.h"
#include "comm/network.h"
#include "comm/tests/comm_fixture.h"
#include "frame/trace/trace.h"

namespace {

class NetworkStartTest : public ct::CommTest {};

TEST_F(NetworkStartTest, StopsWithFailWhenItsMemoryCannotBeHad) {
  comm_task task(nullptr);  // never given a stack pool: nothing to allocate from
  trace_capture out;
  {
    rtos::cpu_scope s;
    task.InitNetwork();
  }
  EXPECT_TRUE(out.contains("Ethernet Allocation Error:")) << out.text();
  EXPECT_TRUE(out.contains(" - tx_byte_allocate: comm_network_memory\t\t[FAIL]\n")) << out.text();
  EXPECT_FALSE(network_ip_created());
}

}  // namespace
