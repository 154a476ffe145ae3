// The port list from the registry: a key of the test's own under HKEY_LOCAL_MACHINE stands in
// for HARDWARE\DEVICEMAP\SERIALCOMM (wine lets any user write there; Windows needs an
// administrator for this test).
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

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
