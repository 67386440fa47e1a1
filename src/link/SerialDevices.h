// The serial devices of this machine, for the port dialog's list.
#pragma once

#include <string>
#include <vector>

namespace nami {

// The serial devices under `devRoot`: /dev/serial/by-id/* first (stable
// names for USB adapters), then ttyUSB*, ttyACM* and ttyS* in number order.
std::vector<std::string> FindSerialDevices(const std::string& devRoot = "/dev");

}  // namespace nami
