// The simulated speed radar: its report framing, line noise, and the steady
// radar that repeats one speed.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim/serial/speed_radar.h"

namespace {

TEST(SpeedRadarSim, ReportsAreCrDigitsCr) {
  sim::speed_radar radar;
  radar.vehicle(55);
  radar.vehicle(7);
  radar.vehicle(1234);
  EXPECT_EQ(radar.take_output(), "\r055\r\r007\r\r999\r");
  EXPECT_EQ(radar.take_output(), "");
  radar.noise("5x");
  EXPECT_EQ(radar.take_output(), "5x");
  sim::serial_device_port port(radar);
  radar.vehicle(60);
  uint32_t byte = 0;
  std::string read;
  while (port.ReadByte(&byte)) read += static_cast<char>(byte);
  EXPECT_EQ(read, "\r060\r");
}

TEST(SpeedRadarSim, SteadyRadarRepeatsItsSpeed) {
  sim::speed_radar radar(72, std::chrono::milliseconds(0));
  EXPECT_EQ(radar.take_output(), "");  // an interval of 0 reports nothing
  sim::speed_radar steady(72, std::chrono::hours(1));
  EXPECT_EQ(steady.take_output(), "\r072\r");
  EXPECT_EQ(steady.take_output(), "") << "not before the interval";
}

}  // namespace
