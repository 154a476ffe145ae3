#include "serial/port_discovery.h"
#include "serial/port_discovery_linux.h"
#include "system/text_file_reader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/fake_sysfs.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

TEST(SystemPortList, KeepsHardwarePortsInNaturalOrderAndDropsPhantomUarts) {
  TFakeSysfs sysfs;
  sysfs.AddPort("ttyUSB0");
  sysfs.AddPort("ttyS10", 4);
  sysfs.AddPort("ttyS2", 4);
  sysfs.AddPort("ttyS1", 0);  // no UART behind it
  sysfs.AddPort("ttyS0", 4);
  sysfs.AddPort("ttyACM0");
  sysfs.AddVirtualTerminal("tty0");
  sysfs.AddVirtualTerminal("console");
  EXPECT_EQ(ReadSystemPortList(sysfs.Root()),
            (Names{"ttyACM0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"}));
}

TEST(SystemPortList, TellsUnavailableFromEmpty) {
  TFakeSysfs sysfs;
  sysfs.AddVirtualTerminal("tty1");
  const auto empty = ReadSystemPortList(sysfs.Root());
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
  EXPECT_FALSE(ReadSystemPortList(sysfs.Root() + "/missing").has_value());
}

TEST(SystemPortList, RootComesFromSysfsPath) {
  TFakeSysfs sysfs;
  sysfs.AddPort("ttyUSB3");
  setenv("SYSFS_PATH", sysfs.Root().c_str(), 1);
  const auto names = ReadSystemPortList();
  unsetenv("SYSFS_PATH");
  EXPECT_EQ(names, (Names{"ttyUSB3"}));
}

TEST(SystemPortDetails, DriverUsbIdsSerialNumberAndStableNames) {
  TFakeSysfs sysfs;
  sysfs.AddUsbPort("ttyUSB1", {"ftdi_sio", "0403", "6001", "A50285BI", "FTDI", "FT232R USB UART"});
  sysfs.AddUsbPort("ttyUSB0", {"ch341", "1a86", "7523", "", "", "USB Serial"});
  sysfs.AddUsbPort("ttyACM0", {"cdc_acm", "2341", "0043", "7573530", "", ""});
  sysfs.AddPortWithDriver("ttyS0", "serial8250", 4, true);  // behind the serial core's devices
  sysfs.AddPortWithDriver("ttyS1", "serial8250", 0);        // no UART behind it: not listed
  sysfs.AddByIdLink("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB1");
  sysfs.AddByIdLink("usb-1a86_USB_Serial-if00-port0", "ttyUSB0");

  const auto ports = ReadSystemPortDetails(sysfs.Root(), sysfs.DevRoot());
  ASSERT_TRUE(ports.has_value());
  ASSERT_EQ(ports->size(), 4u);
  const TPortDetails& acm = (*ports)[0];
  EXPECT_EQ(acm.name, "ttyACM0");
  EXPECT_EQ(acm.driver, "cdc_acm");
  EXPECT_EQ(acm.usbVendorId + ":" + acm.usbProductId, "2341:0043");
  EXPECT_EQ(acm.serialNumber, "7573530");
  EXPECT_TRUE(acm.byIdPaths.empty());
  const TPortDetails& uart = (*ports)[1];
  EXPECT_EQ(uart.name, "ttyS0");
  EXPECT_EQ(uart.driver, "serial8250");
  EXPECT_EQ(uart.usbVendorId, "");
  const TPortDetails& ch341 = (*ports)[2];
  EXPECT_EQ(ch341.name, "ttyUSB0");
  EXPECT_EQ(ch341.driver, "ch341");
  EXPECT_EQ(ch341.serialNumber, "");  // this chip has none
  EXPECT_EQ(ch341.product, "USB Serial");
  EXPECT_EQ(ch341.byIdPaths,
            (Names{sysfs.DevRoot() + "/serial/by-id/usb-1a86_USB_Serial-if00-port0"}));
  const TPortDetails& ftdi = (*ports)[3];
  EXPECT_EQ(ftdi.driver, "ftdi_sio");
  EXPECT_EQ(ftdi.usbVendorId + ":" + ftdi.usbProductId, "0403:6001");
  EXPECT_EQ(ftdi.serialNumber, "A50285BI");
  EXPECT_EQ(ftdi.manufacturer, "FTDI");
  ASSERT_EQ(ftdi.byIdPaths.size(), 1u);

  EXPECT_FALSE(ReadSystemPortDetails(sysfs.Root() + "/missing", sysfs.DevRoot()).has_value());
}

TEST(SystemPortList, NaturalOrder) {
  EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
  EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
  EXPECT_TRUE(NaturalLess("ttyS02", "ttyS3"));
  EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
  EXPECT_TRUE(NaturalLess("COM9", "COM10"));
  EXPECT_FALSE(NaturalLess("COM1", "COM1"));
}

class TextFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvi-text-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& content) {
    const fs::path path = dir_ / "comports.txt";
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  static Names ReadAll(const std::string& path) {
    TTextFileReader reader(path);
    Names lines;
    while (!reader.AtEnd())
      lines.push_back(reader.ReadLine());
    return lines;
  }
  fs::path dir_;
};

TEST_F(TextFile, ReadsEachLineWhole) {
  EXPECT_EQ(ReadAll(Write("COM5\nCOM6\n")), (Names{"COM5", "COM6"}));
  EXPECT_EQ(ReadAll(Write(" COM5 \r\n\nlast")), (Names{" COM5 ", "", "last"}));
  EXPECT_EQ(ReadAll(Write("")), Names{});
}

TEST_F(TextFile, FailuresCarryTheRuntimeTexts) {
  try {
    TTextFileReader reader((dir_ / "absent.txt").string());
    FAIL() << "a missing file must not open";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File not found");
    EXPECT_EQ(e.ErrorCode, ENOENT);
  }
  // A folder opens but cannot be read as text.
  try {
    ReadAll(dir_.string());
    FAIL() << "a folder must not read as a file";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "I/O error " + std::to_string(EISDIR));
  }
  EXPECT_EQ(InOutErrorText(EACCES), "File access denied");
  EXPECT_EQ(InOutErrorText(EMFILE), "Too many open files");
  EXPECT_EQ(InOutErrorText(ENAMETOOLONG), "Invalid filename");
  EXPECT_EQ(InOutErrorText(ENOSPC), "Disk full");
}

TEST_F(TextFile, UnreadableFileIsAccessDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file; run as a normal user to check this";
  const std::string path = Write("COM1\n");
  fs::permissions(path, fs::perms::none);
  try {
    TTextFileReader reader(path);
    FAIL() << "an unreadable file must not open";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
}

}  // namespace
