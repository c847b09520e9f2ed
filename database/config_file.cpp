#include "database/config_file.h"

// The configuration file is not read yet: the defaults stand.
void config_file_restore() {}
