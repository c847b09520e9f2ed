// What the private object groups (quor and vestrel subtrees) need of other
// subsystems, installed by their owners at start-up. One that is not
// installed is passed over.
#pragma once

// One step of the file-transfer state machine, run in the agent's thread
// right after a committed SET of quorFileTransferState (the communication
// task's file transfer installs it).
typedef void (*quor_file_transfer_step)();
void snmp_set_file_transfer_step(quor_file_transfer_step step);
