#include "panel/tests/panel_fixture.h"

#include <cstring>
#include <deque>
#include <new>

#include "frame/peripheral/peripheral_trap.h"
#include "monitor_host.h"
#include "panel/lcd_keys.h"
#include "rtos_host.h"

std::vector<test_page*> test_page::s_made;

bool test_page::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  keys.push_back(*key);
  return mgr->EditText(text, sizeof text, *key);
}

void test_page::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  modes.push_back(mode);
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  if (mode != LCD_DRAW_REFRESH) lcd->PrintfLine(4, LCD_ALIGN_LEFT, "TEXT:%s", text);
}

namespace {

std::deque<test_page_class> g_classes;

std::vector<uint32_t> g_traps;
void record_trap(uint32_t generic, uint32_t specific, uint32_t, const peripheral_trap_binding*) {
  if (generic == TRAP_ENTERPRISE_SPECIFIC) g_traps.push_back(specific);
}

}  // namespace

// Each registered type gets its own create function through a small table
// of trampolines.
namespace {
template <int N>
CMenuItem* create_nth(CLCD_MenuId id, uint32_t) {
  const test_page_class& c = g_classes[N];
  test_page* p = new (std::nothrow) test_page(id, c.title, c.rights);
  if (p) test_page::s_made.push_back(p);
  return p;
}
using create_fn = CMenuItem* (*)(CLCD_MenuId, uint32_t);
constexpr create_fn kCreators[] = {create_nth<0>, create_nth<1>, create_nth<2>, create_nth<3>,
                                   create_nth<4>, create_nth<5>, create_nth<6>, create_nth<7>};
}  // namespace

void add_test_page_class(CLCD_FactoryType type, const char* title, uint32_t rights) {
  const size_t n = g_classes.size();
  ASSERT_LT(n, sizeof kCreators / sizeof kCreators[0]);
  g_classes.push_back({{type, kCreators[n]}, title, rights});
  ASSERT_TRUE(lcd_add_page_class(&g_classes.back().descriptor));
}

std::vector<uint32_t> PanelTest::Traps() {
  std::vector<uint32_t> out;
  out.swap(g_traps);
  return out;
}

void PanelTest::SetUp() {
  monitor::reset();
  rtos::kernel_config c;
  c.memory_size = 4u << 20;
  rtos::kernel_start(c, [this](void* mem) {
    ASSERT_EQ(os_byte_pool_create(&strings_, "dynamic database", mem, kStringPool), OS_SUCCESS);
    ASSERT_EQ(os_event_create(&g_database_flags, "database"), OS_SUCCESS);
  });
  db_ = std::make_unique<CDataBase>(&g_post_office);
  db_->SetStringPool(&strings_);
  db_->SetNotifyEnabled(true);
  g_traps.clear();
  peripheral_set_trap_sender(record_trap);
  lcd_indicators_reset();
  lcd_set_product_board(5);
  test_page::s_made.clear();
  // Central control, PINs and names of every login level.
  SetV(vol::dmsControlMode, 4);
  SetNv(nv::quorLCDAdminPassword, 1234);
  SetNv(nv::quorLCDPassword, 5678);
  SetNvText(nv::communityNameAdmin, "Admin");
  SetNvText(nv::communityNameUser(0), "tech");
  SetNv(nv::communityNameAccessMask(0), 0x00100800);
  SetNv(nv::fdotDmsPanelLogoutTime, 60);
  SetV(vol::powerSource, 4);
}

void PanelTest::TearDown() {
  if (mgr_) InThread([this] { delete mgr_; });
  mgr_ = nullptr;
  port_.reset();
  peripheral_set_trap_sender(nullptr);
  lcd_clear_added_page_classes();
  g_classes.clear();
  lcd_set_restart_hook(nullptr);
  lcd_set_can_dispatch(nullptr);
  db_.reset();
  rtos::kernel_stop();
  monitor::shutdown();
}

void PanelTest::MakeManager(const sim::front_panel::config& unit) {
  unit_ = std::make_unique<sim::front_panel>(unit);
  port_ = std::make_unique<sim::front_panel_port>(*unit_);
  InThread([this] {
    mgr_ = new CLCD_Manager(CLCD_Manager::TYPE_LCD01);
    mgr_->m_wPollInterval = 1;
    ASSERT_EQ(mgr_->Init(port_.get()), 1);
  });
}

void PanelTest::Tick(uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) InThread([this] { mgr_->Process(); });
}

void PanelTest::Start() {
  for (int i = 0; i < 20 && mgr_->m_byPanelState != CLCD_Manager::PANEL_RUN; ++i) Tick();
  ASSERT_EQ(mgr_->m_byPanelState, CLCD_Manager::PANEL_RUN);
  // The first running tick redraws what start-up asked for.
  Tick();
}

void PanelTest::GoLocal() {
  unit_->key_switch_local();
  Tick();
}

void PanelTest::PressKeys(const std::vector<uint8_t>& keys) {
  for (uint8_t k : keys) {
    unit_->press(k);
    Tick();
  }
}

void PanelTest::Open(CLCD_MenuId id) {
  CMenuItem* from = mgr_->CurrentMenu();
  InThread([&] { ASSERT_TRUE(mgr_->ActivateMenu(id, from, false)); });
  Tick();
}

void PanelTest::TypeDigits(const std::string& digits) {
  for (char c : digits) PressKeys({pad(c)});
}

void PanelTest::LoginWithPin(const std::vector<uint8_t>& digits) {
  GoLocal();
  PressKeys(digits);
  PressKeys({LCD_PAD_ENTER});
}

void PanelTest::BootWithAllRights() {
  MakeManager();
  Start();
  LoginWithPin({3, 7, 11, 2});
  InThread([&] { mgr_->m_dwRights = LCD_RIGHTS_ALL; });
  Tick();
}

void PanelTest::KeyCode(uint16_t code) {
  InThread([&] {
    LCDKeyEvent k = lcd_key_event(code);
    if (!mgr_->CurrentMenu()->HandleKey(mgr_, &k)) mgr_->UnhandledKey(k, true);
  });
  Tick();
}
