// IP instances: the driver's requests in the instance's own thread, status
// checks on the kernel's clock, addresses and services.
#include "net_fixture.h"

namespace {

class IpTest : public NetTest {
 protected:
  KThread a_, b_;
  // A second instance; its control block lives as long as the kernel.
  NX_IP other_{};
  std::vector<uint8_t> stack_ = std::vector<uint8_t>(2048);
};

// A link driver whose enable waits until its link negotiation completes, as
// the PPP driver's does.
TX_SEMAPHORE g_link_open;

void BlockingDriver(NX_IP_DRIVER* req) {
  NX_IP* ip = req->nx_driver_ip;
  DriverLog::Requests().emplace_back(req->nx_driver_command, tx_thread_identify());
  req->nx_driver_status = NX_SUCCESS;
  if (req->nx_driver_command == NX_DRIVER_INITIALIZE) {
    ip->nx_ip_driver_mtu = 1500;
    ip->nx_ip_mapping_needed = 0;
    ip->nx_ip_link_up = 0;
  } else if (req->nx_driver_command == NX_DRIVER_ENABLE) {
    tx_semaphore_get(&g_link_open, TX_WAIT_FOREVER);
    _nx_ip_address_set(ip, IP_ADDRESS(10, 0, 0, 2), 0xFFFFFFFFu);
    ip->nx_ip_link_up = 1;
  } else {
    req->nx_driver_status = NX_UNHANDLED_COMMAND;
  }
}

TEST_F(IpTest, TheInstanceThreadInitialisesAndEnablesTheDriver) {
  Start();
  rtos::settle();
  rtos::cpu_scope s;
  auto& r = DriverLog::Requests();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0], std::make_pair(NX_DRIVER_INITIALIZE, &ip_.nx_ip_thread));
  EXPECT_EQ(r[1], std::make_pair(NX_DRIVER_ENABLE, &ip_.nx_ip_thread));
  EXPECT_EQ(ip_.nx_ip_driver_mtu, 1518u);
  EXPECT_EQ(ip_.nx_ip_mapping_needed, 1u);
  EXPECT_EQ(ip_.nx_ip_physical_lsw, 0x03040506u);
  ULONG actual = 0;
  ULONG all = NX_IP_INITIALIZED | NX_IP_LINK_ENABLED | NX_IP_ADDRESS_RESOLVED | NX_IP_ARP_ENABLED |
              NX_IP_ICMP_ENABLED | NX_IP_UDP_ENABLED | NX_IP_TCP_ENABLED;
  EXPECT_EQ(nx_ip_status_check(&ip_, all, &actual, NX_NO_WAIT), NX_SUCCESS);
  EXPECT_EQ(actual, all);
  ULONG link = 7;
  EXPECT_EQ(nx_ip_driver_direct_command(&ip_, NX_DRIVER_GET_STATUS, &link), NX_SUCCESS);
  EXPECT_EQ(link, 1u);
  EXPECT_EQ(nx_ip_driver_direct_command(&ip_, NX_DRIVER_USER, &link), NX_UNHANDLED_COMMAND);
}

// The creator goes on while the driver's enable waits for its link; a
// status check for the link counts its time-out in ticks and succeeds as
// soon as the link is up.
TEST_F(IpTest, ADriverBlockingInEnableHoldsOnlyTheInstanceThread) {
  NX_IP& link_ip = other_;
  Start([&] {
    tx_semaphore_create(&g_link_open, "link open", 0);
    a_.Create("creator", 2, [&] {
      UINT s = nx_ip_create(&link_ip, "PPP over SNMP/IP", IP_ADDRESS(10, 0, 0, 2), IP_ADDRESS(255, 255, 0, 0),
                            &pool_, BlockingDriver, stack_.data(), 2048, 2);
      box_.Post("created " + std::to_string(s) + " at " + std::to_string(tx_time_get()));
      ULONG actual = 0;
      s = nx_ip_status_check(&link_ip, NX_IP_LINK_ENABLED, &actual, 100);
      box_.Post("check " + std::to_string(s) + " at " + std::to_string(tx_time_get()));
      s = nx_ip_status_check(&link_ip, NX_IP_LINK_ENABLED, &actual, NX_WAIT_FOREVER);
      box_.Post("up " + std::to_string(s) + " at " + std::to_string(tx_time_get()) + " actual " +
                std::to_string(actual & NX_IP_LINK_ENABLED));
    });
  });
  rtos::advance(99);
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "created 0 at 0");
  EXPECT_EQ(box_.Size(), 1u);
  rtos::advance(1);
  ASSERT_TRUE(box_.WaitFor(2));
  EXPECT_EQ(box_.At(1), "check " + std::to_string(NX_NOT_SUCCESSFUL) + " at 100");
  rtos::advance(20);
  {
    rtos::cpu_scope s;
    auto& r = DriverLog::Requests();
    // The main instance's two requests, then the link's, all in their own threads.
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[2], std::make_pair(NX_DRIVER_INITIALIZE, &link_ip.nx_ip_thread));
    EXPECT_EQ(r[3], std::make_pair(NX_DRIVER_ENABLE, &link_ip.nx_ip_thread));
    tx_semaphore_put(&g_link_open);
  }
  // The waiting check wakes when the driver sets its link up, within the
  // same tick: no tick passes.
  rtos::settle();
  ASSERT_TRUE(box_.WaitFor(3));
  EXPECT_EQ(box_.At(2), "up 0 at 120 actual 2");
  rtos::cpu_scope s;
  ULONG address = 0, mask = 0;
  EXPECT_EQ(nx_ip_address_get(&link_ip, &address, &mask), NX_SUCCESS);
  EXPECT_EQ(address, IP_ADDRESS(10, 0, 0, 2));
  EXPECT_EQ(mask, 0xFFFFFFFFu);
}

TEST_F(IpTest, StatusCheckEndsWhenItsWaitIsAborted) {
  Start([&] {
    a_.Create("checker", 3, [&] {
      ULONG actual = 0;
      // A link that never comes: the driver of the main instance is up, so ask for a bit never set.
      UINT s = nx_ip_status_check(&ip_, 0x80000000u, &actual, NX_WAIT_FOREVER);
      box_.Post(std::to_string(s));
    });
  });
  rtos::advance(50);
  {
    rtos::cpu_scope s;
    EXPECT_EQ(tx_thread_wait_abort(&a_.cb), TX_SUCCESS);
  }
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), std::to_string(NX_WAIT_ABORTED));
}

TEST_F(IpTest, AddressesAndServices) {
  Start();
  rtos::cpu_scope s;
  ULONG address = 0, mask = 0, gateway = 1;
  EXPECT_EQ(nx_ip_address_get(&ip_, &address, &mask), NX_SUCCESS);
  EXPECT_EQ(address, kAddress);
  EXPECT_EQ(mask, kMask);
  EXPECT_EQ(nx_ip_gateway_address_get(&ip_, &gateway), NX_SUCCESS);
  EXPECT_EQ(gateway, 0u);
  EXPECT_EQ(nx_ip_gateway_address_set(&ip_, IP_ADDRESS(172, 16, 192, 14)), NX_SUCCESS);
  EXPECT_EQ(nx_ip_gateway_address_get(&ip_, &gateway), NX_SUCCESS);
  EXPECT_EQ(gateway, IP_ADDRESS(172, 16, 192, 14));

  // An address of 0.0.0.0 (DHCP not yet bound) is not resolved.
  EXPECT_EQ(nx_ip_address_set(&ip_, 0, IP_ADDRESS(255, 255, 255, 0)), NX_SUCCESS);
  ULONG actual = 0;
  EXPECT_EQ(nx_ip_status_check(&ip_, NX_IP_ADDRESS_RESOLVED, &actual, NX_NO_WAIT), NX_NOT_SUCCESSFUL);
  EXPECT_EQ(nx_ip_address_set(&ip_, kAddress, kMask), NX_SUCCESS);
  EXPECT_EQ(nx_ip_status_check(&ip_, NX_IP_ADDRESS_RESOLVED, &actual, NX_NO_WAIT), NX_SUCCESS);

  EXPECT_EQ(nx_udp_enable(&ip_), NX_ALREADY_ENABLED);
  EXPECT_EQ(nx_tcp_enable(&ip_), NX_ALREADY_ENABLED);
  EXPECT_EQ(nx_arp_enable(&ip_, arp_cache_.data(), 1024), NX_ALREADY_ENABLED);

  NX_IP& bare = other_;
  ASSERT_EQ(nx_ip_create(&bare, "bare", IP_ADDRESS(10, 1, 1, 1), kMask, &pool_, TestDriver, stack_.data(), 2048, 5),
            NX_SUCCESS);
  EXPECT_EQ(nx_ip_create(&bare, "again", 0, 0, &pool_, TestDriver, stack_.data(), 2048, 5), NX_ALREADY_CREATED);
  NX_UDP_SOCKET u{};
  NX_TCP_SOCKET t{};
  EXPECT_EQ(nx_udp_socket_create(&bare, &u, "u", NX_IP_NORMAL, NX_FRAGMENT_OKAY, 128, 30), NX_NOT_ENABLED);
  EXPECT_EQ(nx_tcp_socket_create(&bare, &t, "t", NX_IP_NORMAL, NX_FRAGMENT_OKAY, 128, 1000, nullptr, nullptr),
            NX_NOT_ENABLED);
  EXPECT_EQ(nx_arp_enable(&bare, arp_cache_.data(), 16), NX_SIZE_ERROR);
}

TEST_F(IpTest, FramesFromTheDriverAreTakenAndReleased) {
  Start();
  rtos::cpu_scope s;
  ULONG before = pool_.nx_packet_pool_available;
  NX_PACKET* p = Packet("frame", NX_RECEIVE_PACKET);
  ASSERT_NE(p, nullptr);
  _nx_ip_packet_deferred_receive(&ip_, p);
  p = Packet("arp", NX_RECEIVE_PACKET);
  _nx_arp_packet_deferred_receive(&ip_, p);
  EXPECT_EQ(ip_.nx_ip_frames_received, 2u);
  EXPECT_EQ(pool_.nx_packet_pool_available, before);
}

TEST_F(IpTest, DeletingAnInstanceFreesItsPortsAndEndsItsSockets) {
  NX_IP& other = other_;
  NX_UDP_SOCKET u{};
  Start([&] {
    ASSERT_EQ(nx_ip_create(&other, "other", IP_ADDRESS(10, 1, 1, 1), kMask, &pool_, TestDriver, stack_.data(),
                           2048, 5),
              NX_SUCCESS);
    nx_udp_enable(&other);
    nx_udp_socket_create(&other, &u, "u", NX_IP_NORMAL, NX_FRAGMENT_OKAY, 128, 30);
    nx_udp_socket_bind(&u, 161, NX_NO_WAIT);
    a_.Create("receiver", 3, [&] {
      NX_PACKET* p = nullptr;
      box_.Post(std::to_string(nx_udp_socket_receive(&u, &p, NX_WAIT_FOREVER)));
    });
  });
  rtos::settle();
  EXPECT_NE(net_host_port(&other, net_proto::udp, 161), 0);
  {
    rtos::cpu_scope s;
    EXPECT_EQ(nx_ip_delete(&other), NX_SUCCESS);
  }
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), std::to_string(NX_NOT_CREATED));
  EXPECT_EQ(net_host_port(&other, net_proto::udp, 161), 0);
  rtos::cpu_scope s;
  EXPECT_EQ(nx_udp_socket_bind(&u, 162, NX_NO_WAIT), NX_NOT_CREATED);
  EXPECT_EQ(nx_ip_delete(&other), NX_PTR_ERROR);
}

}  // namespace
