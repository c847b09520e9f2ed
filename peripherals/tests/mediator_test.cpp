// The live list: its states, creating built-ins, loading records (duplicates
// and failures), unloading, lookups and poll settings.
#include "frame/trace/trace.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_iterator.h"
#include "peripherals/pl_mediator.h"
#include "peripherals/tests/peripheral_fixture.h"

namespace {

class MediatorTest : public PeripheralTest {
 protected:
  void SetUp() override {
    PeripheralTest::SetUp();
    // The stand-ins first: they serve their classes before the drivers.
    RegisterTestRows(&factory_);
    peripheral_register_factories(&factory_);
  }
  void TearDown() override {
    InThread([this] { mediator_.Close(); });
    PeripheralTest::TearDown();
  }
  // Types of the live list in order.
  std::vector<uint16_t> Live(uint8_t class_code = 1) {
    std::vector<uint16_t> types;
    pl_mediator::cursor it = 0;
    CPeripheral* p = nullptr;
    for (int more = mediator_.FindFirst(class_code, &it, &p); more; more = mediator_.FindNext(class_code, &it, &p))
      types.push_back(p->m_wTypeId);
    return types;
  }
  void Record(uint32_t slot, uint16_t type, const char* text) {
    SetNv(nv::quorPeripheralID(slot), type);
    SetNvText(nv::quorPeripheralParameters(slot), text);
  }

  pl_factory factory_;
  pl_mediator mediator_;
  int owner_ = 0;
};

TEST_F(MediatorTest, States) {
  InThread([this] {
    trace_capture trace;
    EXPECT_EQ(mediator_.Create(90, "x"), 0);
    EXPECT_TRUE(trace.contains("Error creating menu 90, x \n"));
    EXPECT_EQ(mediator_.Open(nullptr, &owner_), 0);
    EXPECT_EQ(mediator_.Open(&factory_, nullptr), 0);
    EXPECT_EQ(mediator_.Close(), 0);
    ASSERT_EQ(mediator_.Open(&factory_, &owner_), 1);
    EXPECT_EQ(mediator_.State(), pl_mediator::STATE_OPEN);
    EXPECT_EQ(mediator_.Open(&factory_, &owner_), 0);
    EXPECT_EQ(mediator_.UnloadConfigured(), 0);  // only once loaded
    pl_iterator cursor;
    ASSERT_EQ(mediator_.Load(&cursor), 1);
    EXPECT_EQ(mediator_.State(), pl_mediator::STATE_LOADED);
    EXPECT_EQ(mediator_.Load(&cursor), 0);  // not twice without an unload
    ASSERT_EQ(mediator_.Create(90, nullptr), 1);
    ASSERT_EQ(mediator_.Create(11, "0"), 1);
    ASSERT_EQ(mediator_.Close(), 1);
    EXPECT_EQ(mediator_.State(), pl_mediator::STATE_CLOSED);
    EXPECT_EQ(mediator_.Count(), 0u);
    EXPECT_EQ(test_peripheral::s_destroyed, 1u);
    EXPECT_EQ(mediator_.Find(90, nullptr), 0);
    ASSERT_EQ(mediator_.Open(&factory_, &owner_), 1);  // again from closed
  });
}

TEST_F(MediatorTest, LoadSkipsDuplicatesAndMarksFailures) {
  Record(0, 11, "5");
  Record(1, 90, "");    // built in already
  Record(2, 56, "");    // a type without a class
  Record(3, 12, "FAIL");
  Record(4, 30, "0");
  Record(5, 11, "7");   // a second record of a loaded type
  for (uint32_t s = 0; s < 6; ++s) SetV(vol::peripheralLoadStatus(s), 7);
  InThread([this] {
    ASSERT_EQ(mediator_.Open(&factory_, &owner_), 1);
    ASSERT_EQ(mediator_.Create(90, nullptr), 1);
    trace_capture trace;
    pl_iterator cursor;
    ASSERT_EQ(mediator_.Load(&cursor), 1);
    EXPECT_TRUE(trace.contains("skip duplicate CLOCK01\n"));
    EXPECT_TRUE(trace.contains("load failure on UNKNOWN\n"));
    EXPECT_TRUE(trace.contains("load failure on TEMPAMBIENT\n"));
    EXPECT_TRUE(trace.contains("skip duplicate TEMPCABINET\n"));
  });
  EXPECT_EQ(Live(), (std::vector<uint16_t>{90, 11, 30}));
  const uint32_t expected[] = {0, 7, 1, 1, 0, 7};
  for (uint32_t s = 0; s < 6; ++s) EXPECT_EQ(V(vol::peripheralLoadStatus(s)), expected[s]) << s;
  InThread([this] {
    CPeripheral* temp = nullptr;
    ASSERT_EQ(mediator_.Find(11, &temp), 1);
    EXPECT_EQ(temp->m_wConfigSlot, 0);
    EXPECT_EQ(temp->m_wPollInterval, 5);  // from slot 0, not slot 5
  });
}

TEST_F(MediatorTest, UnloadKeepsBuiltInsAndReloadRecreates) {
  Record(0, 11, "5");
  Record(1, 30, "0");
  InThread([this] {
    ASSERT_EQ(mediator_.Open(&factory_, &owner_), 1);
    ASSERT_EQ(mediator_.Create(90, nullptr), 1);
    ASSERT_EQ(mediator_.Create(70, "1"), 1);
    pl_iterator cursor;
    ASSERT_EQ(mediator_.Load(&cursor), 1);
  });
  CPeripheral* clock = nullptr;
  InThread([&] { ASSERT_EQ(mediator_.Find(90, &clock), 1); });
  EXPECT_EQ(Live(), (std::vector<uint16_t>{90, 70, 11, 30}));
  InThread([this] {
    ASSERT_EQ(mediator_.UnloadConfigured(), 1);
    EXPECT_EQ(mediator_.State(), pl_mediator::STATE_UNLOADED);
  });
  EXPECT_EQ(Live(), (std::vector<uint16_t>{90, 70}));
  EXPECT_EQ(test_peripheral::s_destroyed, 2u);
  SetNv(nv::quorPeripheralID(1), 0);
  InThread([this] {
    pl_iterator cursor;
    ASSERT_EQ(mediator_.Load(&cursor), 1);
  });
  EXPECT_EQ(Live(), (std::vector<uint16_t>{90, 70, 11}));
  CPeripheral* same = nullptr;
  InThread([&] { ASSERT_EQ(mediator_.Find(90, &same), 1); });
  EXPECT_EQ(same, clock);
}

// A peripheral whose destruction waits at a gate, so that another thread
// holds the list's lock meanwhile.
TX_SEMAPHORE g_gate;
class gated_peripheral : public test_peripheral {
 public:
  using test_peripheral::test_peripheral;
  ~gated_peripheral() override { tx_semaphore_get(&g_gate, TX_WAIT_FOREVER); }
  static CPeripheral* Create(const pl_record& r) { return new gated_peripheral(r.class_code, r.type_id); }
};

TEST_F(MediatorTest, UnloadWithoutTheLockFailsAndKeepsTheList) {
  static const pl_creator kGated = {PCLASS_DOOR, gated_peripheral::Create};
  pl_factory gated;
  gated.Register(&kGated);
  RegisterTestRows(&gated);
  Record(0, 11, "0");
  static TX_THREAD holder;
  static std::vector<uint8_t> stack(8192);
  static pl_mediator* s_mediator;
  s_mediator = &mediator_;
  InThread([&] {
    g_gate = TX_SEMAPHORE{};
    ASSERT_EQ(tx_semaphore_create(&g_gate, "gate", 0), TX_SUCCESS);
    ASSERT_EQ(mediator_.Open(&gated, &owner_), 1);
    ASSERT_EQ(mediator_.Create(30, nullptr), 1);
    pl_iterator cursor;
    ASSERT_EQ(mediator_.Load(&cursor), 1);
    holder = TX_THREAD{};
    // Removes the gated peripheral: holds the lock at the gate.
    ASSERT_EQ(tx_thread_create(
                  &holder, "holder", [](ULONG) { s_mediator->Remove(30); }, 0, stack.data(), stack.size(), 1, 1, 0,
                  TX_AUTO_START),
              TX_SUCCESS);
  });
  InThread([this] {
    EXPECT_EQ(mediator_.UnloadConfigured(), 0) << "the lock wait failed";
    EXPECT_EQ(mediator_.State(), pl_mediator::STATE_LOADED);
    tx_semaphore_put(&g_gate);
  });
  EXPECT_EQ(Live(), (std::vector<uint16_t>{11}));
  InThread([this] {
    EXPECT_EQ(mediator_.UnloadConfigured(), 1);
    EXPECT_EQ(mediator_.State(), pl_mediator::STATE_UNLOADED);
    tx_thread_terminate(&holder);
    tx_thread_delete(&holder);
    tx_semaphore_delete(&g_gate);
  });
  EXPECT_TRUE(Live().empty());
}

TEST_F(MediatorTest, EmptyTableLoadsNothing) {
  InThread([this] {
    ASSERT_EQ(mediator_.Open(&factory_, &owner_), 1);
    pl_iterator cursor;
    ASSERT_EQ(mediator_.Load(&cursor), 1);
  });
  EXPECT_TRUE(Live().empty());
  InThread([this] {
    CPeripheral* out = reinterpret_cast<CPeripheral*>(0x1);
    EXPECT_EQ(mediator_.Find(90, &out), 0);
    EXPECT_EQ(out, nullptr);
  });
}

TEST_F(MediatorTest, LookupsAndSettings) {
  InThread([this] {
    ASSERT_EQ(mediator_.Open(&factory_, &owner_), 1);
    for (uint16_t t : {uint16_t{11}, uint16_t{30}, uint16_t{12}, uint16_t{31}}) ASSERT_EQ(mediator_.Create(t, "14"), 1);
    EXPECT_EQ(mediator_.Create(56, nullptr), 0);  // no class
  });
  EXPECT_EQ(Live(38), (std::vector<uint16_t>{11, 12}));
  EXPECT_EQ(Live(10), (std::vector<uint16_t>{30, 31}));
  EXPECT_TRUE(Live(39).empty());
  InThread([this] {
    CPeripheral* p = nullptr;
    ASSERT_EQ(mediator_.Find(30, &p), 1);
    p->m_wPollCountdown = 9;
    uint16_t old = 0;
    ASSERT_EQ(mediator_.SetPollInterval(30, 3, &old), 1);
    EXPECT_EQ(old, 0x14);
    EXPECT_EQ(p->m_wPollInterval, 3);
    EXPECT_EQ(p->m_wPollCountdown, 0);
    EXPECT_EQ(mediator_.SetPollInterval(99, 3, &old), 0);
    ASSERT_EQ(mediator_.SetPollCountdown(30, 2), 1);
    EXPECT_EQ(p->m_wPollCountdown, 2);
    ASSERT_EQ(mediator_.Disable(30), 1);
    EXPECT_EQ(p->m_byEnabled, 0);
    ASSERT_EQ(mediator_.Enable(30), 1);
    EXPECT_EQ(p->m_byEnabled, 1);
    EXPECT_EQ(mediator_.Enable(99), 0);
    ASSERT_EQ(mediator_.Remove(12), 1);
    EXPECT_EQ(mediator_.Remove(12), 0);
  });
  EXPECT_EQ(Live(), (std::vector<uint16_t>{11, 30, 31}));
}

}  // namespace
