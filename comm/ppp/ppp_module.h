// The PPP module's place in the endpoint layer: the link operations of the
// PPP endpoints, the serial glue of the CCP, AUX, MODEM and LAPTOP ports and
// the carrier bits, installed through comm/ntcip_link.h.
#pragma once

// A new start: forgets the links, transports and port state of a former
// start in this process, then installs the module. Called by the start-up
// before the endpoints are created.
void ppp_module_install();
