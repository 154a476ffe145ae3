// ports: the machine's ports with driver, USB ids, serial number and stable name, read from a
// sysfs and a /dev of the test's own.
#include <stdlib.h>

#include "tests/cli/cli_fixture.h"
#include "tests/support/fake_sysfs.h"

namespace {

class CliPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    sysfs_.AddUsbPort("ttyUSB0", {"ftdi_sio", "0403", "6001", "A50285BI", "FTDI", "FT232R"});
    sysfs_.AddUsbPort("ttyACM0", {"cdc_acm", "2341", "0043", "", "", ""});
    sysfs_.AddPortWithDriver("ttyS10", "serial8250", 4, true);
    sysfs_.AddPortWithDriver("ttyS2", "serial8250", 4);
    sysfs_.AddPortWithDriver("ttyS3", "serial8250", 0);  // no UART behind it
    sysfs_.AddByIdLink("usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0");
    sysfs_.SetLatencyTimer("ttyUSB0", "16");
    setenv("SYSFS_PATH", sysfs_.Root().c_str(), 1);
    setenv("DEV_PATH", sysfs_.DevRoot().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("SYSFS_PATH");
    unsetenv("DEV_PATH");
  }
  TFakeSysfs sysfs_;
};

TEST_F(CliPorts, TableInNaturalOrder) {
  const TCliRun run = RunCli({"ports"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string byId = sysfs_.DevRoot() + "/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0";
  EXPECT_EQ(run.out,
            "PORT          DRIVER      LATENCY  USB        SERIAL    STABLE NAME\n"
            "/dev/ttyACM0  cdc_acm     -        2341:0043  -         -\n"
            "/dev/ttyS2    serial8250  -        -          -         -\n"
            "/dev/ttyS10   serial8250  -        -          -         -\n"
            "/dev/ttyUSB0  ftdi_sio    16 ms    0403:6001  A50285BI  " +
                byId + "\n");
}

// Russian headers are two bytes a letter; the columns are measured in characters and line up.
TEST_F(CliPorts, RussianHeadersLineUpWithTheColumns) {
  setenv("LANG", "ru_RU.UTF-8", 1);
  const TCliRun run = RunCli({"ports"});
  unsetenv("LANG");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string byId = sysfs_.DevRoot() + "/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0";
  EXPECT_EQ(run.out,
            "ПОРТ          ДРАЙВЕР     ЗАДЕРЖКА  USB        СЕРИЙНЫЙ №  ПОСТОЯННОЕ ИМЯ\n"
            "/dev/ttyACM0  cdc_acm     -         2341:0043  -           -\n"
            "/dev/ttyS2    serial8250  -         -          -           -\n"
            "/dev/ttyS10   serial8250  -         -          -           -\n"
            "/dev/ttyUSB0  ftdi_sio    16 мс     0403:6001  A50285BI    " +
                byId + "\n");
}

TEST_F(CliPorts, Json) {
  const TCliRun run = RunCli({"ports", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  const TJsonValue& ports = (*document)["ports"];
  ASSERT_EQ(ports.items.size(), 4u);
  EXPECT_EQ(ports[0]["name"].text, "ttyACM0");
  EXPECT_TRUE(ports[0]["usb"]["serial"].IsNull());
  EXPECT_TRUE(ports[1]["usb"].IsNull());
  EXPECT_EQ(ports[3]["driver"].text, "ftdi_sio");
  EXPECT_EQ(ports[3]["usb"]["vendor"].text, "0403");
  EXPECT_EQ(ports[3]["usb"]["serial"].text, "A50285BI");
  EXPECT_EQ(ports[3]["by_id"].items.size(), 1u);
  EXPECT_EQ(ports[3]["latency_ms"].number, 16);
  EXPECT_TRUE(ports[0]["latency_ms"].IsNull());
}

// A latency_timer that holds no number of milliseconds is no latency.
TEST_F(CliPorts, UnreadableLatencyIsUnknown) {
  for (const char* text : {"", "sixteen", "-3", "4096"}) {
    sysfs_.SetLatencyTimer("ttyUSB0", text);
    const TCliRun run = RunCli({"ports", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto document = ParseJson(run.out);
    ASSERT_TRUE(document) << run.out;
    EXPECT_TRUE((*document)["ports"][3]["latency_ms"].IsNull()) << text << ": " << run.out;
  }
}

TEST_F(CliPorts, UnreadableListIsAPortError) {
  sysfs_.MakeUnavailable();
  const TCliRun run = RunCli({"ports"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("cannot be read"), std::string::npos) << run.err;
}

}  // namespace
