// The configuration file CONFIG.XML as the database's start-up uses it.
#pragma once

// Restores the configuration objects from CONFIG.XML, when there is one.
void config_file_restore();
