// The configuration file CONFIG.XML as the database's start-up and the
// reset sequence use it (database/files/file_config.h does the work).
#pragma once

// Restores the configuration objects from CONFIG.XML on the system media;
// without the file, the present configuration is written instead. 1 when
// restored.
int config_file_restore();

// Writes CONFIG.XML from the present objects: the watchdog's reset sequence
// calls it before an orderly restart. 1 when written.
int config_file_write();
// The same for the watchdog's writer hook.
void config_file_write_on_reset();
