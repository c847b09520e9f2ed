// The message bus: subscriptions and slots, delivery in slot order, growing
// and full mailboxes, and requests with their replies and time-outs.
#include <memory>

#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/tests/frame_kernel.h"
#include "frame/trace/trace.h"

namespace {

const uint32_t kNone[] = {0};
const uint32_t kReset[] = {MSG_SYSTEM_RESET, MSG_POWER_SHUTDOWN, 0};
const uint32_t kQuery[] = {MSG_CONFIG_LOADED, MSG_PIXEL_DIAG_OPTION, MSG_COMM_RUNNING_QUERY, 0};

std::string Ids(subscriber& s) {
  std::string out;
  letter_s* l = nullptr;
  while (s.Receive(&l)) {
    out += (out.empty() ? "" : " ") + std::to_string(l->Id());
    s.Release(l);
  }
  return out;
}

TEST(BusSlots, TenSlotsAndTheSubscriptionRules) {
  post_office router;
  std::vector<std::unique_ptr<subscriber>> subs;
  for (int i = 0; i < 11; ++i) subs.push_back(std::make_unique<subscriber>(&router, nullptr, 1, nullptr));
  EXPECT_EQ(subs[0]->Subscribe(nullptr), 0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(subs[i]->Subscribe(kReset), 1) << i;
  EXPECT_EQ(subs[0]->Subscribe(kReset), 0);  // already subscribed
  EXPECT_EQ(subs[10]->Subscribe(kReset), 0);  // no free slot
  EXPECT_EQ(subs[10]->State(), subscriber::CONSTRUCTED);
  EXPECT_EQ(router.Attach(nullptr), 0);
  EXPECT_EQ(subs[3]->Unsubscribe(), 1);
  EXPECT_EQ(subs[3]->Unsubscribe(), 0);
  EXPECT_EQ(subs[3]->State(), subscriber::UNSUBSCRIBED);
  EXPECT_EQ(subs[10]->Subscribe(kReset), 1);  // takes the freed slot
  EXPECT_EQ(router.Slot(3), subs[10].get());
  EXPECT_EQ(router.Detach(subs[3].get()), 0);
  // An unsubscribed inbox takes nothing.
  letter_s l(MSG_SYSTEM_RESET);
  EXPECT_EQ(subs[3]->Post(&l, 0), 0);
  EXPECT_EQ(subs[3]->IsSubscribed(MSG_SYSTEM_RESET), 0);
}

TEST(BusSlots, ALostTerminatorEndsTheScanAfter65535Entries) {
  post_office router;
  subscriber s(&router, nullptr, 1, nullptr);
  std::vector<uint32_t> ids(70000, MSG_SPARE_5);
  ids[65534] = MSG_SPARE_26;  // the last entry scanned
  ids[65535] = MSG_SPARE_27;  // beyond the bound
  ASSERT_EQ(s.Subscribe(ids.data()), 1);
  EXPECT_EQ(s.IsSubscribed(MSG_SPARE_5), 1);
  EXPECT_EQ(s.IsSubscribed(MSG_SPARE_26), 1);
  EXPECT_EQ(s.IsSubscribed(MSG_SPARE_27), 0);
  EXPECT_EQ(s.IsSubscribed(MSG_NONE), 0);
}

TEST(BusMailbox, GrowsPastItsTenLettersAndKeepsThemAll) {
  post_office router;
  subscriber s(&router, nullptr, 1, nullptr);
  ASSERT_EQ(s.Subscribe(kQuery), 1);
  EXPECT_EQ(s.Mailbox().FreeCount(), 10u);
  for (uint32_t i = 0; i < 11; ++i) {
    letter_s l(MSG_CONFIG_LOADED);
    l.kind = LETTER_KIND_PAIRS;
    l.payload[0] = i;
    l.payload[3] = 0xA0 + i;
    router.Deliver(&l);
  }
  EXPECT_EQ(s.Mailbox().QueuedCount(), 11u);
  EXPECT_EQ(s.Mailbox().FreeCount(), 0u);
  letter_s* got = nullptr;
  for (uint32_t i = 0; i < 11; ++i) {
    ASSERT_EQ(s.Receive(&got), 1);
    EXPECT_EQ(got->Id(), MSG_CONFIG_LOADED);
    EXPECT_EQ(got->kind, LETTER_KIND_PAIRS);
    EXPECT_EQ(got->payload[0], i);  // first in, first out
    EXPECT_EQ(got->payload[3], 0xA0 + i);
    EXPECT_EQ(got->reply_to, nullptr);
    s.Release(got);
  }
  EXPECT_EQ(s.Receive(&got), 0);
  EXPECT_EQ(s.Mailbox().FreeCount(), 11u);
}

class BusTest : public FrameKernelTest {
 protected:
  void TearDown() override {
    mailbox::SetAllocator(nullptr);
    FrameKernelTest::TearDown();
  }
  // Waits like a task for its timer flag, then drains its inbox; answers
  // MSG_COMM_RUNNING_QUERY unless told to stay silent.
  void Serve(subscriber* inbox, TX_EVENT_FLAGS_GROUP* group) {
    for (;;) {
      uint32_t actual = 0;
      os_status st = os_event_get(group, 0x4, OS_EVENT_OR_CLEAR, &actual, OS_WAIT_FOREVER);
      Log(st == OS_WAIT_ABORTED ? "server woken" : "server step");
      letter_s* l = nullptr;
      while (inbox->Receive(&l)) {
        Log("server got " + std::to_string(l->Id()));
        if (l->Id() == MSG_COMM_RUNNING_QUERY && answer_) {
          letter_s r(MSG_COMM_RUNNING_REPLY);
          r.payload[0] = 1 + l->payload[0];
          EXPECT_EQ(router_.Reply(l, &r), 1);
        }
        if (l->Id() == MSG_COMM_RUNNING_QUERY && !answer_) held_.Copy(*l);
        inbox->Release(l);
      }
    }
  }

  post_office router_;
  TX_EVENT_FLAGS_GROUP group_{};
  FrameThread server_, client_;
  bool answer_ = true;
  letter_s held_;  // a request kept to be answered late
};

TEST_F(BusTest, PublishReachesEverySubscriberOfTheIdInSlotOrder) {
  // Four inboxes, each with a more urgent thread than the publisher that
  // runs the moment its flag goes up: the log shows the order of delivery.
  TX_EVENT_FLAGS_GROUP groups[4] = {};
  FrameThread readers[4];
  std::vector<std::unique_ptr<subscriber>> subs;
  const uint32_t* lists[4] = {kQuery, kReset, kNone, kReset};
  Start([&](void*) {
    for (int i = 0; i < 4; ++i) {
      os_event_create(&groups[i], "reader");
      subs.push_back(std::make_unique<subscriber>(&router_, &groups[i], 1, &readers[i].cb));
      subs.back()->Subscribe(lists[i]);
      readers[i].Create("reader", 5, [&, i] {
        for (;;) {
          uint32_t actual = 0;
          os_event_get(&groups[i], 1, OS_EVENT_OR_CLEAR, &actual, OS_WAIT_FOREVER);
          Log("slot " + std::to_string(i) + ": " + Ids(*subs[i]));
        }
      });
    }
  });
  ASSERT_TRUE(rtos::run_in_thread([&] {
    router_.Publish(MSG_SYSTEM_RESET);
    router_.Publish(MSG_CONFIG_LOADED);
    router_.Publish(MSG_MODEM_RING);  // nobody's
  }, 20));
  EXPECT_EQ(log_, (strings{"0 slot 1: 79", "0 slot 3: 79", "0 slot 0: 25"}));
}

TEST_F(BusTest, ALetterWithoutMemoryIsDroppedTracedAndRaisesNoFlag) {
  TX_EVENT_FLAGS_GROUP other{};
  std::unique_ptr<subscriber> full, spare;
  Start([&](void*) {
    os_event_create(&group_, "full");
    os_event_create(&other, "spare");
    full = std::make_unique<subscriber>(&router_, &group_, 1, nullptr);
    spare = std::make_unique<subscriber>(&router_, &other, 1, nullptr);
    full->Subscribe(kQuery);
    spare->Subscribe(kQuery);
  });
  rtos::cpu_scope scope;
  letter_s* taken = nullptr;
  for (int i = 0; i < 10; ++i) router_.Publish(MSG_PIXEL_DIAG_OPTION);
  ASSERT_EQ(spare->Receive(&taken), 1);  // the spare inbox keeps one letter free
  spare->Release(taken);
  uint32_t actual = 0;
  os_event_get(&group_, 1, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT);
  os_event_get(&other, 1, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT);

  mailbox::SetAllocator([]() -> letter_s* { return nullptr; });
  trace_capture trace;
  router_.Publish(MSG_CONFIG_LOADED);
  EXPECT_TRUE(trace.contains("subscriber::Post: no memory, letter 25 dropped\n")) << trace.text();
  EXPECT_EQ(os_event_get(&group_, 1, OS_EVENT_OR, &actual, OS_NO_WAIT), OS_NO_EVENTS);
  EXPECT_EQ(os_event_get(&other, 1, OS_EVENT_OR, &actual, OS_NO_WAIT), OS_SUCCESS);
  EXPECT_EQ(full->Mailbox().QueuedCount(), 10u);
  EXPECT_EQ(Ids(*spare), "31 31 31 31 31 31 31 31 31 25");
  letter_s l(MSG_CONFIG_LOADED);
  EXPECT_EQ(full->Post(&l, 1), 0);
}

// A request to MSG_COMM_RUNNING_QUERY, which two inboxes take, while the
// first one's inbox holds two published letters.
class BusRequestTest : public BusTest {
 protected:
  void Run(UINT server_priority) {
    Start([&](void*) {
      os_event_create(&group_, "server");
      other_ids_ = std::make_unique<subscriber>(&router_, nullptr, 1, nullptr);
      first_ = std::make_unique<subscriber>(&router_, &group_, 1, &server_.cb);
      bystander_ = std::make_unique<subscriber>(&router_, nullptr, 1, nullptr);
      other_ids_->Subscribe(kReset);
      first_->Subscribe(kQuery);
      bystander_->Subscribe(kQuery);
      server_.Create("server", server_priority, [&] { Serve(first_.get(), &group_); });
    });
    rtos::advance(10);
    {
      rtos::cpu_scope scope;
      router_.Publish(MSG_CONFIG_LOADED);
      router_.Publish(MSG_PIXEL_DIAG_OPTION);
      client_.Create("client", 10, [&] {
        letter_s request(MSG_COMM_RUNNING_QUERY);
        request.payload[0] = 41;
        reply_.payload[1] = 0x5A5A;
        Log("client asks");
        result_ = router_.SendAndWait(&request, &reply_);
        Log("client done");
      });
    }
    rtos::advance(3);
    EXPECT_EQ(result_, 1);
    EXPECT_EQ(reply_.Id(), MSG_COMM_RUNNING_REPLY);
    EXPECT_EQ(reply_.payload[0], 42u);
    EXPECT_EQ(reply_.payload[1], 0u);  // the whole reply is copied
    // Only the first subscriber got the request; the later one had the two
    // published letters only.
    EXPECT_EQ(Ids(*bystander_), "25 31");
    EXPECT_EQ(Ids(*other_ids_), "");
    EXPECT_EQ(timers_->EventCount(), 0u);
  }

  std::unique_ptr<subscriber> other_ids_, first_, bystander_;
  letter_s reply_;
  int result_ = -1;
};

TEST_F(BusRequestTest, AMoreUrgentServerAnswersBeforeTheRequesterSuspends) {
  Run(5);
  EXPECT_EQ(log_, (strings{"10 client asks", "10 server woken", "10 server got 77", "10 server got 25",
                           "10 server got 31", "10 client done"}));
}

TEST_F(BusRequestTest, ALessUrgentServersReplyResumesTheRequesterAtTheNextTick) {
  Run(15);
  EXPECT_EQ(log_, (strings{"10 client asks", "10 server woken", "10 server got 77", "10 server got 25",
                           "10 server got 31", "11 client done"}));
}

TEST_F(BusTest, AnUnansweredRequestEndsAfterItsBoundAndALateReplyIsDropped) {
  std::unique_ptr<subscriber> inbox;
  letter_s reply(MSG_NONE);
  reply.payload[0] = 0xC0FFEE;
  int result = -1;
  answer_ = false;
  Start([&](void*) {
    os_event_create(&group_, "server");
    inbox = std::make_unique<subscriber>(&router_, &group_, 1, &server_.cb);
    inbox->Subscribe(kQuery);
    server_.Create("server", 5, [&] { Serve(inbox.get(), &group_); });
  });
  rtos::advance(5);
  {
    rtos::cpu_scope scope;
    client_.Create("client", 10, [&] {
      letter_s request(MSG_COMM_RUNNING_QUERY);
      result = router_.SendAndWait(&request, &reply);
      Log("client done " + std::to_string(result));
    });
  }
  trace_capture trace;
  rtos::advance(29);
  EXPECT_EQ(result, -1);
  // Something else resuming the requester is not its reply.
  {
    rtos::cpu_scope scope;
    EXPECT_EQ(tx_thread_resume(&client_.cb), TX_SUCCESS);
  }
  rtos::advance(1);
  EXPECT_EQ(log_, (strings{"5 server woken", "5 server got 77", "35 client done 0"}));
  EXPECT_TRUE(trace.contains("post_office::SendAndWait: no reply to letter 77\n")) << trace.text();
  EXPECT_EQ(timers_->EventCount(), 0u);

  // The server answers now: the requester is gone, its letter stays as it was.
  letter_s late(MSG_COMM_RUNNING_REPLY);
  late.payload[0] = 1;
  ASSERT_EQ(held_.reply_to, &reply);
  EXPECT_TRUE(rtos::run_in_thread([&] { EXPECT_EQ(router_.Reply(&held_, &late), 0); }));
  EXPECT_TRUE(trace.contains("post_office::Reply: request 77 no longer waits, reply 78 dropped\n"));
  EXPECT_EQ(reply.Id(), MSG_NONE);
  EXPECT_EQ(reply.payload[0], 0xC0FFEEu);
}

TEST_F(BusTest, RequestsThatCannotBeSent) {
  std::unique_ptr<subscriber> inbox;
  Start([&](void*) {
    inbox = std::make_unique<subscriber>(&router_, nullptr, 1, nullptr);
    inbox->Subscribe(kQuery);
  });
  letter_s request(MSG_COMM_RUNNING_QUERY), reply, stray(MSG_POWER_SHUTDOWN), published(MSG_CONFIG_LOADED);
  EXPECT_TRUE(rtos::run_in_thread([&] {
    EXPECT_EQ(router_.SendAndWait(&request, &request), 0);
    EXPECT_EQ(router_.SendAndWait(&stray, &reply), 0);  // nobody takes 80
    EXPECT_EQ(router_.SendAndWait(nullptr, &reply), 0);
  }));
  EXPECT_EQ(timers_->EventCount(), 0u);
  EXPECT_EQ(inbox->Mailbox().QueuedCount(), 0u);
  {
    rtos::cpu_scope scope;  // not a thread: it could not be suspended
    EXPECT_EQ(router_.SendAndWait(&request, &reply), 0);
    // A published letter carries no reply address.
    router_.Deliver(&published);
    letter_s* got = nullptr;
    ASSERT_EQ(inbox->Receive(&got), 1);
    EXPECT_EQ(router_.Reply(got, &reply), 0);
    inbox->Release(got);
  }
  EXPECT_EQ(inbox->Mailbox().QueuedCount(), 0u);
}

}  // namespace
