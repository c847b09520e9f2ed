// The peripheral task on the manual clock: start-up and its built-ins, the
// step's polls and reloads, error reports, the thread's checks, and the
// letters.
#include <algorithm>
#include <string>

#include "database/files/file_config.h"
#include "display/multi/multi_hooks.h"
#include "frame/console/vms_command.h"
#include "frame/trace/trace.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/tests/peripheral_fixture.h"

namespace {

// What the task asked of the front panel, one text per call.
std::vector<std::string> g_panel_calls;

void Note(const std::string& s) { g_panel_calls.push_back(s); }

const peripheral_panel_ops kPanelOps = {
    [](CPeripheral*) { Note("suspend"); },
    [](CPeripheral*) { Note("resume"); },
    [](CPeripheral*) { Note("clear"); },
    [](CPeripheral*, uint8_t on) { Note("backlight " + std::to_string(on)); },
    [](CPeripheral*) { Note("indicator off"); },
    [](CPeripheral*, uint32_t line, const char* text) { Note(std::to_string(line) + " " + text); },
    [](uint32_t led, uint32_t state) { Note("led " + std::to_string(led) + " " + std::to_string(state)); },
    [](CPeripheral*) { Note("remote"); },
    [](CPeripheral*) { Note("file menus"); },
    [](CPeripheral*) { Note("control mode"); },
    [](CPeripheral*, uint8_t good) { Note("power good " + std::to_string(good)); },
};

class TaskTest : public PeripheralTest {
 protected:
  static constexpr uint32_t kCycle = CPeripheralTask::TIMER_PERIOD;

  void SetUp() override {
    PeripheralTest::SetUp();
    SetV(vol::peripheralTableLock, 2);
    g_panel_calls.clear();
    peripheral_set_panel_ops(&kPanelOps);
    task_ = std::make_unique<CPeripheralTask>(&g_post_office);
    ASSERT_EQ(task_->Subscribe(), 1);
  }
  void TearDown() override {
    if (task_->Mediator().State() >= pl_mediator::STATE_OPEN) InThread([this] { task_->Mediator().Close(); });
    rtos::kernel_stop();
    task_.reset();
    peripheral_set_panel_ops(nullptr);
    g_multi_hooks = {};
    g_reset_hold = 0;
    g_config_write_request = 0;
    PeripheralTest::TearDown();
  }

  // Creates the task and lets it start (its first timer expiry).
  void Start(uint8_t board = 3, bool with_panel = true) {
    task_->SetProductBoardId(board);
    ASSERT_EQ(task_->Create(&stacks_), 1);
    RegisterTestRows(&task_->Factory());
    if (!with_panel) task_->Factory().Clear();  // nothing but the registry's rows then
    rtos::advance(CPeripheralTask::TIMER_FIRST);
    ASSERT_EQ(task_->RunState(), CPeripheralTask::RUN_STARTED);
  }
  void Steps(uint32_t n) { rtos::advance(n * kCycle); }
  void Record(uint32_t slot, uint16_t type, const char* text) {
    SetNv(nv::quorPeripheralID(slot), type);
    SetNvText(nv::quorPeripheralParameters(slot), text);
  }
  CPeripheral* Live(uint16_t type) {
    CPeripheral* p = nullptr;
    InThread([&] { p = task_->GetPeripheral(type); });
    return p;
  }
  // A live peripheral of the test rows.
  test_peripheral* Test(uint16_t type) { return dynamic_cast<test_peripheral*>(Live(type)); }
  std::vector<uint16_t> LiveTypes() {
    std::vector<uint16_t> types;
    pl_mediator::cursor it = 0;
    CPeripheral* p = nullptr;
    for (int more = task_->Mediator().FindFirst(1, &it, &p); more; more = task_->Mediator().FindNext(1, &it, &p))
      types.push_back(p->m_wTypeId);
    return types;
  }
  void Deliver(uint32_t id, uint16_t a = 0, uint16_t b = 0, uint8_t c1 = 0, uint16_t kind = LETTER_KIND_PAIRS) {
    letter_s l(id);
    l.kind = kind;
    l.payload[0] = static_cast<uint32_t>(a) << 16 | b;
    l.payload[1] = static_cast<uint32_t>(c1) << 16;
    g_post_office.Deliver(&l);
  }
  size_t Count(const std::vector<uint32_t>& letters, uint32_t id) {
    return static_cast<size_t>(std::count(letters.begin(), letters.end(), id));
  }

  void CheckStop(uint32_t reason_letter, uint8_t language, const std::string& text);

  std::unique_ptr<CPeripheralTask> task_;
};

// ---------------------------------------------------------------- start-up

struct BoardCase {
  uint8_t board;
  std::vector<uint16_t> tried;      // board-specific built-ins the task asks for
  std::vector<uint16_t> not_tried;
};

class TaskStartUp : public TaskTest, public ::testing::WithParamInterface<BoardCase> {};

TEST_P(TaskStartUp, BuiltInsOfTheBoard) {
  trace_capture trace;
  Start(GetParam().board);
  const std::vector<uint16_t> live = LiveTypes();
  // The built-ins of every board, in their order.
  std::vector<uint16_t> common = {90, 70, 10, 300, 301, 302, 304, 303, 610};
  EXPECT_TRUE(std::equal(common.begin(), common.end(), live.begin())) << testing::PrintToString(live);
  EXPECT_FALSE(trace.contains("failed to create SCRIPT FILE[303]\n"));
  for (uint16_t type : GetParam().tried) {
    const bool created = std::find(live.begin(), live.end(), type) != live.end();
    const std::string failed = std::string("failed to create ") + peripheral_type_name(type) + "[" +
                               std::to_string(type) + "]\n";
    EXPECT_TRUE(created || trace.contains(failed)) << type;
    if (type == PTYPE_INTERNAL_MODEM) EXPECT_TRUE(created) << "the dial-up modem has its creator";
  }
  for (uint16_t type : GetParam().not_tried) {
    EXPECT_TRUE(std::find(live.begin(), live.end(), type) == live.end()) << type;
    EXPECT_FALSE(trace.contains(std::string("[") + std::to_string(type) + "]")) << type;
  }
}

INSTANTIATE_TEST_SUITE_P(Boards, TaskStartUp,
                         ::testing::Values(BoardCase{0, {91, 95}, {50, 29}}, BoardCase{1, {91, 95}, {50, 29}},
                                           BoardCase{4, {91, 95}, {50, 29}}, BoardCase{2, {91, 50, 29}, {95}},
                                           BoardCase{5, {50, 29}, {91, 95}}, BoardCase{6, {50, 29}, {91, 95}},
                                           BoardCase{3, {}, {91, 95, 50, 29}},
                                           BoardCase{254, {}, {91, 95, 50, 29}}));

TEST_F(TaskTest, StartUpTextsLettersAndState) {
  Start(2);
  // The record texts of the built-ins.
  const auto& texts = test_peripheral::s_created_texts;
  EXPECT_NE(std::find(texts.begin(), texts.end(), "42100"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "42201,F0,F0,FF,FF,1"), texts.end());
  const std::vector<uint32_t> letters = Letters();
  ASSERT_GE(letters.size(), 2u);
  EXPECT_EQ(letters[0], MSG_WDT_PERIPHERAL_START);
  EXPECT_EQ(letters[1], MSG_WDT_PERIPHERAL_ALIVE);
  for (uint32_t k = 0; k < 5; ++k) EXPECT_EQ(task_->m_abyClimateState[k], 4 + 3 * k);
  EXPECT_EQ(V(vol::peripheralConfiguredCount), 0u);
  EXPECT_EQ(task_->StatusWord() >> 24, 1u);
  Steps(3);
  EXPECT_EQ(Count(Letters(), MSG_WDT_PERIPHERAL_ALIVE), 3u);
  EXPECT_EQ(task_->LoopCount(), 3u);
}

TEST_F(TaskTest, BuiltInRecordsAreSkippedAndFailuresMarked) {
  Record(0, 90, "");
  Record(1, 56, "");
  Record(2, 30, "1");
  SetV(vol::peripheralLoadStatus(0), 9);
  trace_capture trace;
  Start();
  EXPECT_TRUE(trace.contains("skip duplicate CLOCK01\n"));
  EXPECT_TRUE(trace.contains("load failure on UNKNOWN\n"));
  EXPECT_EQ(V(vol::peripheralLoadStatus(0)), 9u);
  EXPECT_EQ(V(vol::peripheralLoadStatus(1)), 1u);
  EXPECT_EQ(V(vol::peripheralConfiguredCount), 1u);
}

// ---------------------------------------------------------------- the step

TEST_F(TaskTest, StepPollsEachPeripheralAtItsInterval) {
  Record(0, 11, "0");   // every cycle
  Record(1, 12, "1");   // every cycle
  Record(2, 13, "14");  // every 20th
  Record(3, 14, "3");   // disabled below
  Start();
  test_peripheral* disabled = Test(14);
  ASSERT_NE(disabled, nullptr);
  InThread([this] { task_->Mediator().Disable(14); });
  disabled->m_wPollCountdown = 1;
  Steps(40);
  EXPECT_EQ(Test(11)->polls, 40u);
  EXPECT_EQ(Test(12)->polls, 40u);
  EXPECT_EQ(Test(13)->polls, 2u);
  EXPECT_EQ(disabled->polls, 0u);
  EXPECT_EQ(disabled->m_wPollCountdown, 1);  // a disabled peripheral keeps its countdown
  // Every peripheral polled reported its error code.
  EXPECT_EQ(V(vol::peripheralLoadStatus(0)), 0u);
}

TEST_F(TaskTest, ReloadWhenTheRecordsChange) {
  Start();
  CPeripheral* clock = Live(90);
  CPeripheral* panel = Live(70);
  panel->m_byState = PERIPHERAL_VALID;
  for (int i = 0; i < 30; ++i) task_->RunClimateEvaluators(0);
  // A wizard adds a record: the lock goes 1 and back to 2.
  InThread([] {
    pl_iterator records;
    ASSERT_EQ(records.Add(30, "%X", 1), 1);
  });
  Steps(1);
  EXPECT_NE(Live(30), nullptr);
  EXPECT_EQ(V(vol::peripheralConfiguredCount), 1u);
  EXPECT_EQ(Live(90), clock);  // built-ins stay as they were
  EXPECT_EQ(Live(70)->m_byState, PERIPHERAL_VALID);
  EXPECT_LE(task_->m_byClimateWarmUp, 2);  // the evaluators were reset

  // A central system writes with the lock at 1 and sets 2 when done.
  SetV(vol::peripheralTableLock, 1, DB_NOTIFY);
  InThread([] {
    pl_iterator records;
    ASSERT_EQ(records.Add(31, "1"), 1);
    ASSERT_EQ(records.Remove(30), 1);
  });
  Steps(2);
  EXPECT_NE(Live(30), nullptr);
  EXPECT_EQ(Live(31), nullptr);
  SetV(vol::peripheralTableLock, 2, DB_NOTIFY);
  Steps(1);
  EXPECT_EQ(Live(30), nullptr);
  EXPECT_NE(Live(31), nullptr);
}

TEST_F(TaskTest, ErrorStatesReachTheLoadStatusAndTheDeviceBit) {
  Record(5, 30, "0");
  Start();
  test_peripheral* door = Test(30);
  test_peripheral* controller_temp = Test(10);
  ASSERT_NE(door, nullptr);
  ASSERT_NE(controller_temp, nullptr);
  controller_temp->m_wPollInterval = 0;
  // The controller's own sensor does not count as an attached device.
  controller_temp->m_byState = PERIPHERAL_COMM_ERROR;
  Steps(1);
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0u);
  door->m_byState = PERIPHERAL_COMM_ERROR;
  Steps(1);
  EXPECT_EQ(V(vol::peripheralLoadStatus(5)), 2u);
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0x8u);
  door->m_byState = 4;
  Steps(1);
  EXPECT_EQ(V(vol::peripheralLoadStatus(5)), 0u);
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0x8u);
  door->m_byState = PERIPHERAL_INIT_ERROR;
  Steps(1);
  EXPECT_EQ(V(vol::peripheralLoadStatus(5)), 1u);
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0u);
}

TEST_F(TaskTest, AReportOfASlotBeyondTheTableWritesNothing) {
  Start();
  const uint8_t after = Db().mib_v[vol::peripheralLoadStatus(254).offset + 1];
  InThread([this] { task_->ReportError(30, 255, 2); });
  EXPECT_EQ(Db().mib_v[vol::peripheralLoadStatus(254).offset + 1], after);
}

TEST_F(TaskTest, SoftwareResetIsPublishedOncePerStart) {
  Start();
  SetNv(nv::dmsSWReset, 1);
  Steps(4);
  EXPECT_EQ(Count(Letters(), MSG_SYSTEM_RESET), 1u);
  SetNv(nv::dmsSWReset, 4);
  Steps(2);
  EXPECT_EQ(Count(Letters(), MSG_DEFRAG_RESET), 0u);
}

TEST_F(TaskTest, ResetRequestsWaitWhileHeld) {
  Start();
  g_reset_hold = 1;
  SetNv(nv::dmsSWReset, 4);
  Steps(2);
  EXPECT_EQ(Count(Letters(), MSG_DEFRAG_RESET), 0u);
  g_reset_hold = 0;
  Steps(1);
  EXPECT_EQ(Count(Letters(), MSG_DEFRAG_RESET), 1u);
}

TEST_F(TaskTest, UnsupportedPortSpeedBecomes9600) {
  Start();
  for (uint32_t speed : {1234u, 0u, 2400u, 115200u}) {
    SetNv(nv::rs232PortInSpeed(0), speed);
    Steps(1);
    EXPECT_EQ(Nv(nv::rs232PortInSpeed(0)), speed == 2400 || speed == 115200 ? speed : 9600u) << speed;
  }
}

TEST_F(TaskTest, ControlModeChangeReachesThePanel) {
  Start();
  SetV(vol::dmsControlMode, 2, DB_NOTIFY | DB_NO_VALIDATE);
  Steps(1);
  EXPECT_NE(std::find(g_panel_calls.begin(), g_panel_calls.end(), "control mode"), g_panel_calls.end());
}

TEST_F(TaskTest, SpreadSensorPolls) {
  std::srand(7);
  Start();
  test_peripheral* a = Test(10);  // a built-in sensor of class 38
  a->m_wPollInterval = 10;
  a->m_wPollCountdown = 3;
  a->can_address = 0x42101;
  test_peripheral b(38, 11);
  b.m_wPollInterval = 10;
  b.m_wPollCountdown = 3;
  b.can_address = 0x42111;  // the same low nibble
  task_->SpreadSensorPolls(&b, 0);
  EXPECT_NE(b.m_wPollCountdown, 3);
  EXPECT_LT(b.m_wPollCountdown, 10);
  // Another nibble, or an interval of 0, is left alone.
  b.m_wPollCountdown = 3;
  b.can_address = 0x42112;
  task_->SpreadSensorPolls(&b, 0);
  EXPECT_EQ(b.m_wPollCountdown, 3);
  a->m_wPollInterval = 0;
  b.m_wPollInterval = 0;
  b.m_wPollCountdown = 0;
  a->m_wPollCountdown = 0;
  b.can_address = 0x42111;
  task_->SpreadSensorPolls(&b, 0);
  EXPECT_EQ(b.m_wPollCountdown, 0);
}

TEST_F(TaskTest, GeneralPurposeOutputs) {
  Start();
  for (uint32_t n : {1u, 10u, 16u, 0u, 17u, 0xFFFFFFFFu}) task_->SetGPOutputRequest(n);
  EXPECT_EQ(task_->GPOutputMask(), 0x8201);
  task_->ClearGPOutputRequest(1);
  EXPECT_EQ(task_->GPOutputMask(), 0x8200);
  task_->ClearAllGPOutputRequests();  // outputs 1..10
  EXPECT_EQ(task_->GPOutputMask(), 0x8000);
  // The MULTI tag reaches the task.
  ASSERT_NE(g_multi_hooks.gp_output_request, nullptr);
  g_multi_hooks.gp_output_request(3, true);
  EXPECT_EQ(task_->GPOutputMask(), 0x8004);
  EXPECT_EQ(task_->StatusWord() >> 24, 1u);  // the run state is untouched
}

TEST_F(TaskTest, ConsoleOperations) {
  Start();
  const vms_peripheral_ops* ops = peripheral_console_ops();
  InThread([&] {
    EXPECT_EQ(ops->find(90), task_->GetPeripheral(90));
    EXPECT_EQ(ops->find(0x12345), nullptr);
    EXPECT_EQ(ops->disable(301), 1);
    uint16_t old = 0;
    EXPECT_EQ(ops->set_poll_interval(301, 7, &old), 1);
    EXPECT_EQ(old, CFile_Config::POLL_INTERVAL);
    trace_capture trace;
    ops->show_status(301);
    EXPECT_TRUE(trace.contains("CONFIG FILE is currently disabled\n"));
    EXPECT_EQ(ops->enable(301), 1);
    EXPECT_EQ(ops->is_modem(task_->GetPeripheral(90)), 0);
  });
}

// ---------------------------------------------------------------- letters

TEST_F(TaskTest, PowerLettersSetTheFlagsAndThePanelsPowerGood) {
  Start();
  g_panel_calls.clear();
  Deliver(MSG_POWER_LOST, 0, 0, 0, 0);
  Deliver(MSG_UPS_ON_BATTERY, 0, 0, 0, 0);
  Steps(1);
  EXPECT_EQ(task_->PowerFlags(), 3);
  EXPECT_EQ(g_panel_calls, std::vector<std::string>{"power good 0"});
  Deliver(MSG_POWER_RESTORED, 0, 0, 0, 0);
  Deliver(MSG_UPS_ON_AC, 0, 0, 0, 0);
  Steps(1);
  EXPECT_EQ(task_->PowerFlags(), 0);
  EXPECT_EQ(g_panel_calls.back(), "power good 1");
}

TEST_F(TaskTest, ShutdownRequest) {
  Start();
  Letters();
  Deliver(MSG_SHUTDOWN_REQUEST, 0, 0, 0, 0);
  Steps(2);
  EXPECT_EQ(task_->RunState(), CPeripheralTask::RUN_SHUTDOWN);
  EXPECT_TRUE(task_->StatusWord() & CPeripheralTask::STATUS_SHUTDOWN);
  EXPECT_EQ(task_->ResetReason(), MSG_SHUTDOWN_REQUEST);
  EXPECT_EQ(Count(Letters(), MSG_SHUTDOWN_RESET), 1u);
  EXPECT_EQ(Live(70)->m_byEnabled, 0);
}

// The stop letter after a reset reason: the panel shows why.
void TaskTest::CheckStop(uint32_t reason_letter, uint8_t language, const std::string& text) {
  Start();
  SetNv(nv::quorLanguage, language);
  Deliver(reason_letter, 0, 0, 0, 0);
  Steps(1);
  Letters();
  g_panel_calls.clear();
  Deliver(MSG_PERIPHERAL_STOP, 0, 0, 0, 0);
  Steps(1);
  EXPECT_EQ(g_panel_calls, (std::vector<std::string>{"suspend", "clear", "backlight 0", "indicator off", text}));
  EXPECT_EQ(Count(Letters(), MSG_WDT_PERIPHERAL_STOP), 1u);
  // No more steps, and no more check-ins.
  const uint32_t loops = task_->LoopCount();
  Steps(5);
  EXPECT_EQ(task_->LoopCount(), loops);
  EXPECT_TRUE(Letters().empty());
}

TEST_F(TaskTest, StopAfterADefragResetShowsASoftwareReset) { CheckStop(MSG_DEFRAG_RESET, 1, "4 SOFTWARE RESET"); }
TEST_F(TaskTest, StopAfterPowerLossInFrench) { CheckStop(MSG_POWER_SHUTDOWN, 2, "4 PERTE D'ALIMENTATION"); }
TEST_F(TaskTest, StopAfterAShutdownRequestInFrench) { CheckStop(MSG_SHUTDOWN_REQUEST, 2, "4 ETEINT"); }
TEST_F(TaskTest, StopWithoutAReason) { CheckStop(MSG_NONE, 0, "4 TURNED OFF"); }

TEST_F(TaskTest, EnablingAndDisablingByLetter) {
  Record(0, 30, "1");
  Start();
  Deliver(MSG_PERIPHERALS_DISABLE, 0, 0, 0, 0);
  Steps(1);
  for (uint16_t type : LiveTypes()) EXPECT_EQ(Live(type)->m_byEnabled, type == 70 ? 1 : 0) << type;
  Deliver(MSG_PERIPHERALS_ENABLE, 0, 0, 0, 0);
  Steps(1);
  for (uint16_t type : LiveTypes()) EXPECT_EQ(Live(type)->m_byEnabled, 1) << type;
  // All off: the configured ones only.
  Deliver(MSG_PERIPHERALS_ALL_OFF, 0, 0, 0, 0);
  Steps(1);
  for (uint16_t type : LiveTypes()) EXPECT_EQ(Live(type)->m_byEnabled, type == 30 ? 0 : 1) << type;
  Deliver(MSG_PERIPHERALS_ALL_ON, 0, 0, 0, 0);
  Deliver(MSG_FRONT_PANEL_DISABLE, 0, 0, 0, 0);
  Steps(1);
  EXPECT_EQ(Live(30)->m_byEnabled, 1);
  EXPECT_EQ(Live(301)->m_byEnabled, 0);
  Deliver(MSG_FRONT_PANEL_ENABLE, 0, 0, 0, 0);
  Steps(1);
  EXPECT_EQ(Live(301)->m_byEnabled, 1);
}

TEST_F(TaskTest, ConfigurationChangeAsksForTheFile) {
  Start();
  Live(301)->m_wPollCountdown = 500;
  Deliver(MSG_CONFIG_OBJECT_CHANGED, 0, 0, 0, 0);
  Steps(1);
  EXPECT_EQ(g_config_write_request, 1);
  EXPECT_LE(Live(301)->m_wPollCountdown, 1);
}

TEST_F(TaskTest, LettersToPeripherals) {
  Record(3, 11, "0");
  Record(4, 12, "0");
  Start();
  Deliver(MSG_PERIPHERAL_REPORT, 11, 7);
  Deliver(MSG_PERIPHERAL_REPORT, 11, 7, 0, 0);  // not the kind with a payload: ignored
  Deliver(MSG_PERIPHERAL_REPORT, 99, 7);        // not live: ignored
  Deliver(MSG_PERIPHERAL_CLASS_EVENT, 38);
  Deliver(MSG_DISPLAY_TO_PERIPHERAL, 0, 3, 0, 0);
  Steps(1);
  EXPECT_EQ(Test(11)->events, (std::vector<uint32_t>{MSG_PERIPHERAL_REPORT, MSG_PERIPHERAL_CLASS_EVENT}));
  EXPECT_EQ(Test(12)->events, std::vector<uint32_t>{MSG_PERIPHERAL_CLASS_EVENT});
  EXPECT_EQ(Test(10)->events, std::vector<uint32_t>{MSG_PERIPHERAL_CLASS_EVENT});
  EXPECT_EQ(Test(610)->events, std::vector<uint32_t>{MSG_DISPLAY_TO_PERIPHERAL});
  // A recount reports an error code for a slot.
  Deliver(MSG_PERIPHERAL_RECOUNT, 55, 9, 2);
  Deliver(MSG_PERIPHERAL_RECOUNT, 55, 10, 2, 0);  // ignored
  Steps(1);
  EXPECT_EQ(V(vol::peripheralLoadStatus(9)), 2u);
  EXPECT_EQ(V(vol::peripheralLoadStatus(10)), 0u);
}

TEST_F(TaskTest, AutoDetectRequestDeletesTheRecords) {
  Record(0, 30, "1");
  Record(1, 31, "1");
  Start();
  Deliver(MSG_AUTO_DETECT, 0, 0, 0, 0);
  Steps(2);
  EXPECT_EQ(Nv(nv::quorPeripheralID(0)), 0u);
  EXPECT_EQ(Nv(nv::quorPeripheralID(1)), 0u);
  EXPECT_EQ(Live(30), nullptr);  // unloaded by the reload that followed
}

TEST_F(TaskTest, PanelLetters) {
  Start();
  g_panel_calls.clear();
  for (uint32_t id : {MSG_MODEM_RING, MSG_MODEM_CONNECT, MSG_MODEM_DISCONNECT, MSG_NETWORK_UP, MSG_WATCHDOG_DISABLE,
                      MSG_WATCHDOG_ENABLE, MSG_FILE_TRANSFER_DONE})
    Deliver(id, 0, 0, 0, 0);
  Steps(1);
  EXPECT_EQ(g_panel_calls, (std::vector<std::string>{"led 1 4", "led 1 3", "led 1 1", "remote", "suspend", "resume",
                                                     "file menus"}));
}

TEST_F(TaskTest, WithoutAPanelItsLettersDoNothing) {
  Start(3, false);
  g_panel_calls.clear();
  for (uint32_t id : {MSG_MODEM_RING, MSG_NETWORK_UP, MSG_POWER_LOST, MSG_PERIPHERAL_STOP}) Deliver(id, 0, 0, 0, 0);
  Steps(1);
  EXPECT_TRUE(g_panel_calls.empty());
  EXPECT_EQ(Count(Letters(), MSG_WDT_PERIPHERAL_STOP), 1u);
}

TEST_F(TaskTest, ControlledResetIsAnswered) {
  Start();
  letter_s reply(MSG_NONE);
  int sent = 0;
  InThread([&] {
    letter_s request(MSG_CONTROLLED_RESET);
    sent = g_post_office.SendAndWait(&request, &reply);
  });
  EXPECT_EQ(sent, 1);
  EXPECT_EQ(reply.Id(), MSG_CONTROLLED_RESET_ACK);
  EXPECT_NE(std::find(g_panel_calls.begin(), g_panel_calls.end(), "4 CONTROLLED RESET"), g_panel_calls.end());
  EXPECT_NE(std::find(g_panel_calls.begin(), g_panel_calls.end(), "5 Please wait..."), g_panel_calls.end());
  EXPECT_EQ(Live(70)->m_byEnabled, 0);
}

TEST_F(TaskTest, ControlledResetWithoutAPanelTimesOut) {
  Start(3, false);
  letter_s reply(MSG_NONE);
  InThread([&] {
    letter_s request(MSG_CONTROLLED_RESET);
    g_post_office.SendAndWait(&request, &reply);
  });
  EXPECT_EQ(reply.Id(), MSG_NONE);
}

TEST_F(TaskTest, StackReportAndSuspend) {
  Start();
  trace_capture trace;
  // The thread's own use shows in the stack it was given.
  Deliver(MSG_PERIPHERAL_STACK_REPORT, 0, 0, 0, 0);
  Steps(1);
  EXPECT_TRUE(trace.contains("Peripheral Stack Used: "));
  EXPECT_FALSE(trace.contains("Peripheral Stack Used: 0/"));
  // The scan stops at the first byte from the low end that lost the fill.
  task_->Stack()[100] = 0;
  Deliver(MSG_PERIPHERAL_STACK_REPORT, 0, 0, 0, 0);
  Steps(1);
  EXPECT_TRUE(trace.contains("Peripheral Stack Used: 6044/6144. "));
  Letters();
  Deliver(MSG_PERIPHERAL_SUSPEND, 0, 0, 0, 0);
  Steps(1);
  EXPECT_TRUE(trace.contains("Suspending peripheral task\n"));
  EXPECT_EQ(Count(Letters(), MSG_WDT_PERIPHERAL_STOP), 1u);
  const uint32_t loops = task_->LoopCount();
  Steps(3);
  EXPECT_EQ(task_->LoopCount(), loops);
  // Resumed from outside, it carries on where it stopped.
  InThread([this] { task_->Resume(); });
  Steps(2);
  EXPECT_GT(task_->LoopCount(), loops + 1);
}

TEST_F(TaskTest, TimeLettersReachTheClock) {
  Start();
  SetNv(nv::globalDaylightSaving, 3);
  Steps(2);
  trace_set_level(1);
  trace_capture trace;
  Deliver(MSG_TIME_ZONE_CHANGED, 0, 0, 0, 0);
  Steps(3);
  trace_set_level(0);
  EXPECT_TRUE(trace.contains("Time Zone Changed\n"));
}

TEST_F(TaskTest, UnsupportedLampTestIsTurnedBack) {
  Start();
  SetV(vol::lampTestActivation, 3, DB_NOTIFY);
  Steps(1);
  EXPECT_EQ(V(vol::lampTestActivation), 2u);
}

}  // namespace
