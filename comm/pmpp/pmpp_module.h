// The PMPP module's place in the endpoint layer: the link operations of the
// PMPP endpoints, installed through comm/ntcip_link.h.
#pragma once

// A new start: forgets the links of a former start in this process, then
// installs the module. Called by the start-up before the endpoints are
// created.
void pmpp_module_install();
