// The serial devices offered by the port dialog, from a made-up /dev.
#include <gtest/gtest.h>

#include <filesystem>

#include "link/SerialDevices.h"
#include "support/TestSupport.h"

namespace nami {
namespace {

TEST(SerialDevices, AreListedStableNamesFirstInNumberOrder) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  const std::string root = dir.File("dev");
  fs::create_directories(root + "/serial/by-id");
  for (const char* name :
       {"ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0", "tty0", "ttySX", "serial/by-id/usb-TNC"}) {
    test::WriteFile(root + "/" + name, "");
  }
  EXPECT_EQ(FindSerialDevices(root),
            (std::vector<std::string>{root + "/serial/by-id/usb-TNC", root + "/ttyUSB0", root + "/ttyUSB1",
                                      root + "/ttyACM0", root + "/ttyS2", root + "/ttyS10"}));
  EXPECT_TRUE(FindSerialDevices(dir.File("missing")).empty());
}

}  // namespace
}  // namespace nami
