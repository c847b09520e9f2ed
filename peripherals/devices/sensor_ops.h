// The device operations the peripheral task asks of the sensor drivers
// (temperatures, light levels, shut-off limits, RPM tests), as the table of
// peripheral_hooks.h. Start-up installs it.
#pragma once

struct peripheral_device_ops;

const peripheral_device_ops* sensor_device_ops();
void install_sensor_device_ops();
