// The host around the controller program: its state folder and the board
// the firmware runs on.
#pragma once

#include <string>

// Creates the state folder, reads its host configuration and builds the
// board (the console on the program's terminal). False when the folder
// cannot be used.
bool host_prepare(const std::string& state_folder);
// Puts the terminal back as it was (async-signal-safe).
void host_restore_terminal();
