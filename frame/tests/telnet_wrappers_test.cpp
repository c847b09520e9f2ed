// The console's wrappers of the stack's telnet server and client: their
// states and refusals, the server's stack from the byte pool, and the
// client's packets both ways.
#include "console_fixture.h"
#include "frame/console/telnet_client.h"
#include "frame/console/telnet_server.h"

namespace {

class TelnetWrapperTest : public ConsoleTest {};

TEST_F(TelnetWrapperTest, ServerStates) {
  rtos::run_in_thread([&] {
    CTelnetServer none(nullptr, &packets_, &stacks_);
    EXPECT_EQ(none.Create(), 0);  // no network
    EXPECT_EQ(none.Delete(), 0);

    TX_BYTE_POOL tiny{};
    static uint8_t memory[1024];
    ASSERT_EQ(os_byte_pool_create(&tiny, "tiny", memory, sizeof memory), OS_SUCCESS);
    CTelnetServer starved(&ip_, &packets_, &tiny);
    EXPECT_EQ(starved.Create(), 0);  // no room for the stack
    EXPECT_EQ(starved.State(), CTelnetServer::STATE_CONSTRUCTED);

    const char* name;
    uint32_t total, before, after, fragments;
    os_byte_pool_info(&stacks_, &name, &total, &before, &fragments);
    CTelnetServer s(&ip_, &packets_, &stacks_);
    EXPECT_EQ(s.Start(), 0);
    EXPECT_EQ(s.Stop(), 0);
    EXPECT_EQ(s.Send(0, "x", 1), 0);
    EXPECT_EQ(s.Create(), 1);
    EXPECT_EQ(s.State(), CTelnetServer::STATE_CREATED);
    os_byte_pool_info(&stacks_, &name, &total, &after, &fragments);
    EXPECT_GE(before - after, CTelnetServer::STACK_SIZE);
    EXPECT_EQ(s.Create(), 0);
    EXPECT_EQ(s.Stop(), 0);
    EXPECT_EQ(s.Start(), 1);
    EXPECT_EQ(s.Start(), 0);
    EXPECT_EQ(s.Send(0, "x", 1), 0);  // nobody connected
    EXPECT_EQ(s.Stop(), 1);
    EXPECT_EQ(s.State(), CTelnetServer::STATE_STOPPED);
    EXPECT_EQ(s.Start(), 1);
    EXPECT_EQ(s.Delete(), 1);
    EXPECT_EQ(s.State(), CTelnetServer::STATE_DELETED);
    os_byte_pool_info(&stacks_, &name, &total, &after, &fragments);
    EXPECT_LT(before - after, CTelnetServer::STACK_SIZE);  // the stack went back
    EXPECT_EQ(s.Delete(), 0);
    // A deleted server can be made again.
    EXPECT_EQ(s.Create(), 1);
    EXPECT_EQ(s.Start(), 1);
  });
}

TEST_F(TelnetWrapperTest, ClientConnectsSendsAndReceives) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  fds_.push_back(listener);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  listen(listener, 1);
  socklen_t len = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  const uint16_t port = ntohs(a.sin_port);

  CTelnetClient client(&ip_, &packets_);
  uint8_t buf[4];
  uint32_t got = 7;
  // The connect waits for the host's answer with the clock standing.
  RunHeld([&] {
    EXPECT_EQ(client.Send("x", 1), 0);
    EXPECT_EQ(client.Receive(buf, sizeof buf, &got, 1), 0);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(client.Disconnect(), 0);  // not created yet
    EXPECT_EQ(client.Connect(IP_ADDRESS(127, 0, 0, 1), port), 1);
    EXPECT_EQ(client.State(), CTelnetClient::STATE_CONNECTED);
    EXPECT_EQ(client.Connect(IP_ADDRESS(127, 0, 0, 1), port), 0);
  });
  int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  fds_.push_back(peer);
  RunHeld([&] { EXPECT_EQ(client.Send("AT*NETRSSI?\r", 12), 1); });
  EXPECT_EQ(ReadUntil(peer, "\r"), "AT*NETRSSI?\r");
  Write(peer, "RSSI=-71\r\nOK");
  // One packet per receive; what does not fit is dropped.
  RunHeld([&] { EXPECT_EQ(client.Receive(buf, sizeof buf, &got, 2000), 1); });
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "RSSI");
  rtos::run_in_thread([&] {
    EXPECT_EQ(client.Receive(buf, sizeof buf, &got, 5), 0);
    EXPECT_EQ(client.Disconnect(), 1);
    EXPECT_EQ(client.State(), CTelnetClient::STATE_DISCONNECTED);
    EXPECT_EQ(client.Disconnect(), 1);  // nothing to disconnect counts as done
    EXPECT_EQ(client.Send("x", 1), 0);
    EXPECT_EQ(client.Delete(), 1);
    EXPECT_EQ(client.State(), CTelnetClient::STATE_DELETED);
  });
  EXPECT_TRUE(SeesClose(peer));
}

TEST_F(TelnetWrapperTest, ClientToNobodyFails) {
  CTelnetClient client(&ip_, &packets_);
  rtos::run_in_thread([&] {
    // An address that no host mapping knows: the connect waits out its time.
    EXPECT_EQ(client.Connect(IP_ADDRESS(10, 9, 8, 7), 23), 0);
    EXPECT_EQ(client.State(), CTelnetClient::STATE_CREATED);
  });
}

}  // namespace
