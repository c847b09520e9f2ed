#include "panel/pages/datakey_page.h"

#include <new>

#include "frame/datakey/datakey_jobs.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/pages/page_classes.h"

namespace {

CDataKeyJobs* s_jobs = nullptr;

// Line 4 of states 4..17, English and French.
const char* const kStateText[18][2] = {
    {"", ""}, {"", ""}, {"", ""}, {"", ""},
    {"COMPRESSING FILE%s", "COMPRESSION DES FICHIERS%s"},
    {"COMPUTING CRCS%s", "CALCUL DES CRC%s"},
    {"ERASING DATAKEY%s", "EFFACER LA DATAKEY%s"},
    {"SAVING FILE TO DATAKEY%s", "ENREGISTREMENT DANS LA DATAKEY%s"},
    {"READING FILE FROM DATAKEY%s", "LECTURE DE LA DATAKEY%s"},
    {"DECOMPRESSING%s", "DECOMPRESSION%s"},
    {"SAVING FILE TO FLASH%s", "ENREGISTREMENT SUR LA MEMOIRE FLASH%s"},
    {"SUCCESS (PRESS ANY KEY)", "REUSSI (APPUYER SUR UNE TOUCHE)"},
    {"FILE NOT FOUND", "FICHIER NON TROUVE"},
    {"MEMORY ALLOCATION ERROR", "ERREUR D'ALLOCATION DE MEMOIRE"},
    {"COMPRESSION ERROR", "ERREUR DE COMPRESSION"},
    {"ERROR DATAKEY WAS REMOVED", "ERREUR LA DATAKEY A ETE RETIREE"},
    {"CRC ERROR", "ERREUR DE CRC"},
    {"WRITING FILE ERROR", "ERREUR D'ECRITURE DU FICHIER"},
};
const char* const kDots[4] = {"   ", ".  ", ".. ", "..."};

// The offers of state 2 in their order: the job and its text by number.
struct Offer {
  CDataKeyJobs::Job job;
  const char* text[2];
};
const Offer kOffers[3] = {
    {CDataKeyJobs::UPDATE_FIRMWARE, {"%d) UPDATE CONTROLLER FIRMWARE", "%d) MISE A JOUR DU CODE"}},
    {CDataKeyJobs::UPDATE_CONFIG, {"%d) UPDATE CONTROLLER CONFIG", "%d) MISE A JOUR DU CONFIG"}},
    {CDataKeyJobs::UPDATE_HEX, {"%d) UPDATE CONTROLLER HEX FILES", "%d) MISE A JOUR DES FICHIERS HEX"}},
};

// The existing offers, in order; their count.
int Offers(const CDataKeyJobs& jobs, const Offer* out[3]) {
  int n = 0;
  if (jobs.HasFirmware()) out[n++] = &kOffers[0];
  if (jobs.HasConfig()) out[n++] = &kOffers[1];
  if (jobs.HasHex()) out[n++] = &kOffers[2];
  return n;
}

}  // namespace

void lcd_datakey_set_jobs(CDataKeyJobs* jobs) { s_jobs = jobs; }

CLCD_DataKey::CLCD_DataKey() : CMenuItem(198, "DATAKEY", "DATAKEY", 0x00000100) {}

void CLCD_DataKey::Enter(CLCD_Manager* mgr) {
  CMenuItem::Enter(mgr);
  m_byLastState = 0xFF;
  m_byPhase = 0;
  // A worker still running keeps its state until it is reaped.
  if (s_jobs && !s_jobs->WorkerAlive()) s_jobs->SetState(CDataKeyJobs::NO_KEY);
}

bool CLCD_DataKey::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!s_jobs) return false;
  if (m_byLastState >= CDataKeyJobs::SUCCESS && m_byLastState <= CDataKeyJobs::WRITE_ERROR) {
    s_jobs->StopWorker();
    return true;
  }
  if (m_byLastState >= CDataKeyJobs::STARTED && m_byLastState < CDataKeyJobs::SUCCESS) return true;
  if (m_byLastState != CDataKeyJobs::EMPTY && m_byLastState != CDataKeyJobs::RECORDS) return false;
  uint16_t code = lcd_key_code(*key);
  const Offer* offers[3];
  int n = m_byLastState == CDataKeyJobs::RECORDS ? Offers(*s_jobs, offers) : 0;
  if (code == '1') {
    s_jobs->StartWorker(CDataKeyJobs::SAVE);
  } else if (code >= '2' && code < '2' + n) {
    s_jobs->StartWorker(offers[code - '2']->job);
  } else {
    return false;
  }
  mgr->RequestRedraw(LCD_DRAW_FULL);
  return true;
}

void CLCD_DataKey::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  const int fr = mgr->m_dwLanguage == 1 ? 1 : 0;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  if (s_jobs) s_jobs->KeyCheck();
  m_byPhase = static_cast<uint8_t>((m_byPhase + 1) & 3);
  uint8_t state = s_jobs ? s_jobs->GetState() : uint8_t(CDataKeyJobs::NO_KEY);
  m_byLastState = state;
  if (state == CDataKeyJobs::NO_KEY) {
    for (uint32_t line : {2u, 3u, 5u, 6u, 7u, 8u}) lcd->ClearLine(line);
    lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "%s", fr ? "INSERER LA DATAKEY" : "INSERT DATAKEY");
  } else if (state == CDataKeyJobs::EMPTY || state == CDataKeyJobs::RECORDS) {
    const char* v = CDataKeyJobs::VERSION;
    lcd->PrintfLine(2, LCD_ALIGN_LEFT, fr ? "VERSION COURANTE: %s" : "CURRENT FIRMWARE: %s", v);
    if (state == CDataKeyJobs::EMPTY)
      lcd->PrintfLine(3, LCD_ALIGN_LEFT, "%s", fr ? "VERSION DATAKEY:  VIDE" : "DATAKEY FIRMWARE: EMPTY");
    else
      lcd->PrintfLine(3, LCD_ALIGN_LEFT, fr ? "VERSION DATAKEY:  %s" : "DATAKEY FIRMWARE: %s",
                      s_jobs->KeyVersion().c_str());
    lcd->ClearLine(4);
    lcd->PrintfLine(5, LCD_ALIGN_LEFT, "%s",
                    fr ? "1) COPIER CODE/CONFIG VERS DATAKEY" : "1) SAVE FIRMWARE/CONFIG TO DATAKEY");
    const Offer* offers[3];
    int n = state == CDataKeyJobs::RECORDS ? Offers(*s_jobs, offers) : 0;
    for (int i = 0; i < 3; ++i) {
      if (i < n)
        lcd->PrintfLine(6 + i, LCD_ALIGN_LEFT, offers[i]->text[fr], i + 2);
      else
        lcd->ClearLine(6 + i);
    }
  } else if (state > CDataKeyJobs::STARTED && state <= CDataKeyJobs::WRITE_ERROR) {
    lcd->PrintfLine(4, LCD_ALIGN_CENTRE, kStateText[state][fr], kDots[m_byPhase]);
  }
}

namespace {
CMenuItem* create_datakey(CLCD_MenuId, uint32_t) { return new (std::nothrow) CLCD_DataKey(); }
}  // namespace

const class_descriptor g_datakey_class = {LCD_CLASS_DATAKEY, create_datakey};
