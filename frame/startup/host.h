// The host around the controller program: its state folder and the board
// the firmware runs on.
#pragma once

#include <string>
#include <vector>

// Creates the state folder, reads its host configuration, builds the board
// (the console on the program's terminal) and boots the boot monitor on the
// folder. A restart runs the program again with `argv`; with
// exit_on_restart it ends the process instead, with the status
// monitor::RESTART_EXIT_STATUS + the restart kind. False when the folder
// cannot be used.
bool host_prepare(const std::string& state_folder, const std::vector<std::string>& argv, bool exit_on_restart);
// Puts the terminal back as it was (async-signal-safe).
void host_restore_terminal();
