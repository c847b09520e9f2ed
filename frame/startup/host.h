// The host around the controller program: its state folder and the board
// the firmware runs on.
#pragma once

#include <string>
#include <vector>

// The state folder's file of network port mappings; without it the
// controller's port P listens on 127.0.0.1:P+10000 (SNMP on 10161). Lines
// such as "port 161 20161", "ephemeral", "offset 30000".
constexpr const char* HOST_NET_CONFIG = "net.conf";
// The data key's contents (written when the key is first programmed).
constexpr const char* HOST_DATAKEY_FILE = "datakey.bin";
// The board clock register kept through power cuts (the last second the
// controller's clock wrote).
constexpr const char* HOST_CLOCK_REGISTER = "clock.dat";
// The sign's face as a picture (written when what the sign shows changes).
constexpr const char* HOST_SIGN_PICTURE = "sign.png";

class CSignPicture;

// Creates the state folder, reads its host configuration, builds the board
// (the console on the program's terminal) and boots the boot monitor on the
// folder. A restart runs the program again with `argv`; with
// exit_on_restart it ends the process instead, with the status
// monitor::RESTART_EXIT_STATUS + the restart kind. False when the folder
// cannot be used.
bool host_prepare(const std::string& state_folder, const std::vector<std::string>& argv, bool exit_on_restart);
// Puts the terminal back as it was (async-signal-safe).
void host_restore_terminal();
// Shows what the board's display hardware receives as the picture at
// `path`, from now on (until the board is reset). The picture is written a
// little after the frame: host_sign_picture().Flush() waits for it.
void host_show_sign(const std::string& path);
CSignPicture& host_sign_picture();
