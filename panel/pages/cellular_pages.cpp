#include "panel/pages/cellular_pages.h"

#include <cstring>
#include <new>

#include "comm/modem/modem_task.h"
#include "database/database.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kEnableType = 149;
constexpr CLCD_FactoryType kActivationType = 150;
constexpr CLCD_FactoryType kVerizonType = 151;
constexpr CLCD_FactoryType kAttType = 152;
constexpr CLCD_FactoryType kSprintType = 153;

constexpr CLCD_MenuId kActivationPage = 204;
constexpr CLCD_MenuId kVerizonPage = 205;
constexpr CLCD_MenuId kAttPage = 206;
constexpr CLCD_MenuId kSprintPage = 207;

constexpr uint32_t kFeatureModem = 0x20;
constexpr uint32_t kModeStatic = 1;
constexpr uint32_t kModeDhcp = 2;
constexpr uint32_t kModemSnmpPort = 3001;
constexpr uint32_t kSnmpPort = 161;
constexpr uint32_t kRestart = 1;

// The activation values the modem task reads (volatile texts).
constexpr db_object kModemApn{17292, 4};
constexpr db_object kModemUserId{17296, 4};
constexpr db_object kModemPassword{17300, 4};
constexpr db_object kModemMsl{17304, 4};
constexpr db_object kModemMdn{17308, 4};
constexpr db_object kModemMsid{17312, 4};

constexpr uint8_t kCarrierVerizon = 1;
constexpr uint8_t kCarrierSprint = 2;
constexpr uint8_t kCarrierAtt = 6;

// ---- the modem task as the pages see it

CModemTask* task() { return g_pModemTask; }
void task_request(uint32_t bits) {
  if (task()) tx_event_flags_set(task()->Events(), bits, TX_OR);
}
bool task_take(uint32_t bit) {
  // Without the task no modem answers.
  if (!task()) return bit == CModemTask::RES_UNREACHABLE;
  ULONG got = 0;
  return tx_event_flags_get(task()->Events(), bit, TX_OR_CLEAR, &got, TX_NO_WAIT) == TX_SUCCESS;
}
const char* task_model() { return task() ? task()->Model() : ""; }
const char* task_esn() { return task() ? task()->Esn() : ""; }
const char* task_phone() { return task() ? task()->Phone() : ""; }
uint8_t task_carrier() { return task() ? task()->Carrier() : 0; }
const char* task_carrier_name() { return CModemTask::GetCarrierName(task()); }

const lcd_modem_source kTaskSource = {task_request, task_take,    task_model,       task_esn,
                                      task_phone,   task_carrier, task_carrier_name};
const lcd_modem_source* s_source = &kTaskSource;

const char* text_or_empty(const char* (*fn)()) {
  const char* t = fn ? fn() : nullptr;
  return t ? t : "";
}

// ---- what the page shows in each state but the two with the modem's data

struct state_text {
  const char* line4;
  const char* line4_fr;
  const char* line6;
  const char* line6_fr;
  const char* line7;
  const char* line7_fr;
};
const char* const kAnyKey = "(PRESS ANY KEY TO CONTINUE)";
const char* const kAnyKeyFr = "(APPUYEZ SUR UNE TOUCHE POUR CONTINUER)";
const state_text kStateTexts[] = {
    {},  // unused
    {"DETECTING MODEM%s", "DETECTION DU MODEM%s", "", "", "", ""},
    {},
    {},
    {"ACTIVATING MODEM%s", "ACTIVATION MODEM%s", "(THIS MAY TAKE SEVERAL MINUTES)",
     "(CECI PEUT PRENDRE QUELQUES MINUTES)", "", ""},
    {"SUCCESS", "ACTIVATION REUSSIE", "(PLEASE CYCLE SIGN POWER", "(ETEINDRE ET RALLUMER LE PANNEAU",
     "BEFORE USING REMOTE COMMUNICATION)", "AVANT D'UTILISER LA COMM A DISTANCE)"},
    {"NO MODEM FOUND", "AUCUN MODEM DETECTE", "1) DETECT MODEM", "1) DETECTER MODEM", "2) EXIT MENU", "2) QUITTER"},
    {"TIMED OUT", "DELAI ECOULE", kAnyKey, kAnyKeyFr, "", ""},
    {"INSUFFICENT SIGNAL STRENGTH", "INTENSITE DU SIGNAL INSUFFISANTE", kAnyKey, kAnyKeyFr, "", ""},
    {"NOT SUPPORTED", "NON SUPPORTE", kAnyKey, kAnyKeyFr, "", ""},
    {"INVALID COMMAND OR USER DATA", "COMMANDE OU DONNEES INVALIDES", kAnyKey, kAnyKeyFr, "", ""},
};
const char* const kDots[4] = {"   ", ".  ", ".. ", "..."};

// The task's answers in the order they are taken; a later one wins.
struct answer {
  uint32_t flag;
  uint8_t state;
};
const answer kAnswers[] = {
    {CModemTask::RES_QUERIED, CLCD_ModemActivation::FOUND},
    {CModemTask::RES_SIGNAL_WEAK, CLCD_ModemActivation::WEAK_SIGNAL},
    {CModemTask::RES_UNREACHABLE, CLCD_ModemActivation::NO_MODEM},
    {CModemTask::RES_FAILED, CLCD_ModemActivation::TIMED_OUT},
    {CModemTask::RES_CARRIER_UNSUPPORTED, CLCD_ModemActivation::NOT_SUPPORTED},
    {CModemTask::RES_NOT_OK, CLCD_ModemActivation::INVALID},
    {CModemTask::RES_ACTIVATED, CLCD_ModemActivation::SUCCESS},
};

}  // namespace

void lcd_set_modem_source(const lcd_modem_source* source) { s_source = source ? source : &kTaskSource; }

// ---------------------------------------------------------------- the feature

CLCD_ModemActivationEnable::CLCD_ModemActivationEnable(CLCD_MenuId id)
    : CLCD_ServiceEnable(id, "MODEM ACTIVATION INTERFACE", kFeatureModem, false) {}

void CLCD_ModemActivationEnable::Finish(CLCD_Manager* mgr) {
  CLCD_ServiceEnable::Finish(mgr);
  lcd_set_nv(nv::quorEthernetMode, Enabled() ? kModeDhcp : kModeStatic);
  lcd_set_nv(nv::quorHostIPPort, Enabled() ? kModemSnmpPort : kSnmpPort);
  lcd_set_nv(nv::dmsSWReset, kRestart);
}

// ---------------------------------------------------------------- detection and activation

CLCD_ModemActivation::CLCD_ModemActivation(CLCD_MenuId id)
    : CMenuItem(id, "MODEM CONFIGURATION", "CONFIGURATION DU MODEM", LCD_RIGHT_COMMUNICATION, 0) {}

bool CLCD_ModemActivation::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) && (lcd_nv(nv::quorFeatureSet) & kFeatureModem);
}

void CLCD_ModemActivation::Activate(CLCD_Manager* mgr) {
  CMenuItem::Activate(mgr);
  m_byPhase = 0;
  m_byDrawnState = 0;
  if (m_byPending) {
    m_byState = m_byPending;
    m_byPending = 0;
    if (s_source->request) s_source->request(CModemTask::REQ_ACTIVATE);
  } else {
    m_byState = DETECTING;
    if (s_source->request) s_source->request(CModemTask::REQ_QUERY);
  }
}

void CLCD_ModemActivation::Restart(CLCD_Manager* mgr, uint8_t state) {
  m_byState = state;
  mgr->RequestRedraw(LCD_DRAW_FULL);
}

bool CLCD_ModemActivation::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!mgr || !key) return false;
  const uint16_t code = lcd_key_code(*key);
  switch (m_byState) {
    case NO_MODEM:
      if (code == '1') {
        Restart(mgr, DETECTING);
        if (s_source->request) s_source->request(CModemTask::REQ_QUERY);
        return true;
      }
      if (code == '2') {
        mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
        return true;
      }
      return false;
    case TIMED_OUT:
    case WEAK_SIGNAL:
    case NOT_SUPPORTED:
    case INVALID:
      Restart(mgr, FOUND);
      return true;
    case SUCCESS:
      Restart(mgr, ACTIVATED);
      return true;
    case ACTIVATING:
      return true;
    case DETECTING:
      mgr->RequestRedraw(LCD_DRAW_FULL);
      return true;
    default:
      break;
  }
  if (m_byDrawnState == FOUND) {
    if (code == '1') {
      const uint8_t carrier = s_source->carrier ? s_source->carrier() : 0;
      const CLCD_MenuId wizard = carrier == kCarrierVerizon ? kVerizonPage
                                 : carrier == kCarrierSprint ? kSprintPage
                                 : carrier == kCarrierAtt    ? kAttPage
                                                             : 0;
      if (wizard)
        mgr->ActivateMenu(wizard, this, false);
      else
        Restart(mgr, NOT_SUPPORTED);
      return true;
    }
    if (code == '2') {
      mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
      return true;
    }
    return false;
  }
  if (m_byDrawnState == ACTIVATED && code == '1') {
    mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
    return true;
  }
  return false;
}

void CLCD_ModemActivation::DrawModem(CLCD_Manager* mgr, CLCD* lcd) {
  const bool fr = mgr->m_dwLanguage == 1;
  // Both languages show the modem that was detected.
  lcd->PrintfLine(2, LCD_ALIGN_LEFT, "MODEM: %s", text_or_empty(s_source->model));
  lcd->PrintfLine(3, LCD_ALIGN_LEFT, "ESN: %s", text_or_empty(s_source->esn));
  lcd->PrintfLine(4, LCD_ALIGN_LEFT, fr ? "RESEAU: %.9s" : "NETWORK: %.9s", text_or_empty(s_source->carrier_name));
  lcd->PrintfAt(4, 20, fr ? "TELEPHONE#: %s" : "PHONE#: %s", text_or_empty(s_source->phone));
  if (m_byState == FOUND) {
    lcd->PrintfLine(6, LCD_ALIGN_LEFT, "%s", fr ? "1) ACTIVER LE MODEM" : "1) ACTIVATE MODEM");
    lcd->PrintfLine(7, LCD_ALIGN_LEFT, "%s", fr ? "2) QUITTER" : "2) EXIT MENU");
  } else {
    lcd->PrintfLine(6, LCD_ALIGN_LEFT, "%s", fr ? "1) QUITTER" : "1) EXIT MENU");
    lcd->ClearLine(7);
  }
}

void CLCD_ModemActivation::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (!mgr || !lcd) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  for (const answer& a : kAnswers)
    if (s_source->take && s_source->take(a.flag)) m_byState = a.state;
  m_byPhase = static_cast<uint8_t>((m_byPhase + 1) & 3);
  const bool changed = m_byDrawnState != m_byState;
  m_byDrawnState = m_byState;
  const bool animated = m_byState == DETECTING || m_byState == ACTIVATING;
  if (mode == LCD_DRAW_REFRESH && !changed && !animated) return;

  if (m_byState == FOUND || m_byState == ACTIVATED) {
    DrawModem(mgr, lcd);
    return;
  }
  if (m_byState >= sizeof kStateTexts / sizeof kStateTexts[0]) return;
  const state_text& t = kStateTexts[m_byState];
  if (changed || mode == LCD_DRAW_FULL) {
    lcd->ClearLine(2);
    lcd->ClearLine(3);
    lcd->PrintfLine(6, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, t.line6, t.line6_fr));
    lcd->PrintfLine(7, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, t.line7, t.line7_fr));
  }
  lcd->PrintfLine(4, LCD_ALIGN_CENTRE, lcd_text(mgr, t.line4, t.line4_fr), animated ? kDots[m_byPhase] : "");
}

// ---------------------------------------------------------------- carrier wizards

namespace {
struct carrier_item {
  const char* name;
  db_object object;
  bool carriage_return;
};
struct carrier_row {
  uint32_t items;
  carrier_item item[CLCD_ModemCarrierWizard::kItems];
  const char* fixed_msl;  // written before the entered values
};
const carrier_row kCarriers[] = {
    {2, {{"MDN", kModemMdn, false}, {"MSID", kModemMsid, false}}, "417352"},
    {3,
     {{"APN", kModemApn, true},
      {"USER ID", kModemUserId, true},
      {"USER PASSWORD", kModemPassword, true}},
     nullptr},
    {3,
     {{"MSL", kModemMsl, false}, {"MDN", kModemMdn, false}, {"MSID", kModemMsid, false}},
     nullptr},
};

void set_text(db_object o, const char* text, bool carriage_return) {
  if (!g_pDataBase) return;
  char out[CLCD_ModemCarrierWizard::kTextSize + 1];
  const size_t n = strnlen(text, CLCD_ModemCarrierWizard::kTextSize - 1);
  std::memcpy(out, text, n);
  size_t length = n;
  if (carriage_return) out[length++] = '\r';
  g_pDataBase->SetString(o.offset, 4, out, static_cast<uint32_t>(length), g_pDataBase->mib_v, DB_NOTIFY);
}
}  // namespace

CLCD_ModemCarrierWizard::CLCD_ModemCarrierWizard(CLCD_MenuId id, carrier_e carrier)
    : CLCD_SimpleWizardBase(id, "MODEM CONFIGURATION", "MODEM CONFIGURATION", LCD_RIGHT_COMMUNICATION),
      m_eCarrier(carrier) {
  const carrier_row& row = kCarriers[carrier];
  for (uint32_t i = 0; i < row.items; ++i) {
    CLCD_WizardItem& item = m_aItems[i];
    item.kind = WIZARD_TEXT;
    item.text.title = "MODEM CONFIGURATION";
    item.text.label = row.item[i].name;
    item.text.line8 = "PRESS ENTER TO SAVE";
    item.text.buffer = m_aszText[i];
    item.text.per_line = kTextSize;
    item.text.lines = 1;
    AddItem(&item);
  }
}

void CLCD_ModemCarrierWizard::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  for (char* text : m_aszText) text[0] = 0;
}

void CLCD_ModemCarrierWizard::Finish(CLCD_Manager* mgr) {
  const carrier_row& row = kCarriers[m_eCarrier];
  if (row.fixed_msl) set_text(kModemMsl, row.fixed_msl, false);
  for (uint32_t i = 0; i < row.items; ++i) set_text(row.item[i].object, m_aszText[i], row.item[i].carriage_return);
  if (CLCD_ModemActivation* page = dynamic_cast<CLCD_ModemActivation*>(mgr->FindMenu(kActivationPage, nullptr)))
    page->m_byPending = CLCD_ModemActivation::ACTIVATING;
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_enable(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_ModemActivationEnable(id); }
CMenuItem* create_activation(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_ModemActivation(id); }
template <CLCD_ModemCarrierWizard::carrier_e C>
CMenuItem* create_carrier(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_ModemCarrierWizard(id, C);
}
}  // namespace

const class_descriptor g_modem_enable_class = {kEnableType, create_enable};
const class_descriptor g_modem_activation_class = {kActivationType, create_activation};
const class_descriptor g_modem_verizon_class = {kVerizonType, create_carrier<CLCD_ModemCarrierWizard::VERIZON>};
const class_descriptor g_modem_att_class = {kAttType, create_carrier<CLCD_ModemCarrierWizard::ATT>};
const class_descriptor g_modem_sprint_class = {kSprintType, create_carrier<CLCD_ModemCarrierWizard::SPRINT>};
