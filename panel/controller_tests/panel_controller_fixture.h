// The front panel in the whole controller: the simulated unit on the panel
// line and the keys a technician presses on it. Controller is the
// whole-controller fixture the test boots (controller_test, or
// picture_controller_test for a test that reads the sign's picture).
#pragma once

#include "frame/trace/trace.h"
#include "panel/controller_tests/panel_unit_driver.h"
#include "tests/controller_fixture.h"

template <class Controller>
class panel_controller : public Controller, protected panel_unit_driver {
 protected:
  trace_capture trace_;
};
