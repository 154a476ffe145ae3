// The port list from the registry: a key of the test's own under HKEY_LOCAL_MACHINE stands in
// for HARDWARE\DEVICEMAP\SERIALCOMM (wine lets any user write there; Windows needs an
// administrator for this test).
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "serial/device_manager_ports_win32.h"
#include "serial/port_discovery.h"

namespace {

using Names = std::vector<std::string>;

constexpr const char* kKey = "SOFTWARE\\tarvi-tests\\SERIALCOMM";

class RegistryPortList : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\tarvi-tests");
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\tarvi-tests");
  }
  void AddText(const char* valueName, const std::string& data, bool withZero = true) {
    ASSERT_EQ(
        RegSetValueExA(key_, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + (withZero ? 1 : 0))),
        ERROR_SUCCESS);
  }
  HKEY key_ = nullptr;
};

TEST_F(RegistryPortList, GivesTheValueDataInNaturalOrder) {
  AddText("\\Device\\Serial2", "COM10");
  AddText("\\Device\\Serial0", "COM3");
  AddText("\\Device\\VCP0", "COM1", false);  // stored without its terminating zero
  AddText("\\Device\\Serial1", "COM9");
  EXPECT_EQ(ReadSystemPortList(kKey), (Names{"COM1", "COM3", "COM9", "COM10"}));
}

TEST_F(RegistryPortList, TellsEmptyFromUnavailable) {
  const auto empty = ReadSystemPortList(kKey);
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
  EXPECT_FALSE(ReadSystemPortList("SOFTWARE\\tarvi-tests\\missing").has_value());
  // Looking never creates the key.
  HKEY probe = nullptr;
  EXPECT_NE(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\tarvi-tests\\missing", 0, KEY_READ, &probe),
      ERROR_SUCCESS);
}

TEST_F(RegistryPortList, AValueThatIsNotTextFailsTheList) {
  AddText("\\Device\\Serial0", "COM3");
  const DWORD number = 4;
  ASSERT_EQ(RegSetValueExA(key_, "\\Device\\Odd", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&number), sizeof number),
            ERROR_SUCCESS);
  EXPECT_THROW(ReadSystemPortList(kKey), std::runtime_error);
}

}  // namespace

namespace {

// The device manager's instance ids of the usual adapters, and what a port listing shows of them.
TEST(UsbInstanceId, GivesVendorProductAndARealSerialNumberOnly) {
  const struct {
    const char* id;
    bool usb;
    const char* vendor;
    const char* product;
    const char* serial;
  } cases[] = {
      {"USB\\VID_0403&PID_6001\\A50285BI", true, "0403", "6001", "A50285BI"},
      // The bus driver's own id: the ids, but a serial number with the port letter appended.
      {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", true, "0403", "6001", ""},
      {"USB\\VID_1A86&PID_7523\\5&2C8F3A1&0&3", true, "1a86", "7523", ""},  // made up by Windows
      {"USB\\VID_2341&PID_0043&MI_00\\6&1A2B&0&0000", true, "2341", "0043", ""},  // an interface
      {"USB\\VID_10C4&PID_EA60\\0001", true, "10c4", "ea60", "0001"},
      {"ACPI\\PNP0501\\1", false, "", "", ""},
      {"USB\\VID_12&PID_3456\\X", false, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    TPortDetails details;
    ASSERT_EQ(ParseUsbInstanceId(c.id, details), c.usb);
    EXPECT_EQ(details.usbVendorId, c.vendor);
    EXPECT_EQ(details.usbProductId, c.product);
    EXPECT_EQ(details.serialNumber, c.serial);
  }
}

}  // namespace
