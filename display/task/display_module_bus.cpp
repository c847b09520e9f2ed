// The display step's module-bus work: the packets waiting for the EPLD,
// and the module diagnostics' poll of the display lines.
#include "display/modbus/bus_ksr7100.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "frame/can/can_db_driver.h"

void CDisplay::PollModules() {
  if (diag_ksr7100* diag = dynamic_cast<diag_ksr7100*>(m_pDiagnostics)) diag->PollModules(m_pActiveDriver);
}

void CDisplay::WriteModuleBusOutput() {
  can_db_driver* driver = module_line_driver();
  if (!driver) return;
  if (m_bySecondStreamActive) driver->WriteEPLDPacket('3');
  driver->WriteEPLDPacket('2');
}
