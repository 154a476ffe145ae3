// tarvi-cli.exe as the operator runs it, against virtual devices on a COM port:
// scripts/with-sim-com-port starts tarvi-sim with the devices of TARVI_SIM_ARGS (set by the
// build: a good one at 247, a silent one at 10, one with a corrupt reply at 11 and one that
// answers with exception 2 at 12, all at 9600 Bd), links its pty as a COM port of the wine prefix
// and names it in TARVI_COM_PORT. The program beside this test is started as a child process with
// its output in files. Where wine differs from Windows the test says so; the program keeps
// Windows' behaviour. The cases over the network run under scripts/with-sim-gateway instead: a
// device behind ser2net on loopback, a telnet(rfc2217) accepter in TARVI_GATEWAY_TELNET and a raw
// one in TARVI_GATEWAY_RAW.
#include <winsock2.h>
// After winsock2.h, which must come before windows.h.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli/platform.h"
#include "tests/cli/json_value.h"

namespace {

bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string ThisFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string full(path, length);
  return full.substr(0, full.find_last_of("\\/") + 1);
}

// The file's text with Windows' line ends (the program's output is in text mode) made '\n'.
std::string ReadText(const std::string& path) {
  std::string text;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
      text.append(chunk, n);
    std::fclose(file);
  }
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
  return lines;
}

struct TRun {
  DWORD status = 0xFFFFFFFF;  // stays so when the program did not end within the limit
  std::string out;
  std::string err;
  double cpuSeconds = 0;  // user and kernel time of the program
};

double Seconds(const FILETIME& time) {
  const ULONGLONG ticks = (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  return static_cast<double>(ticks) / 1e7;  // 100 ns ticks
}

HANDLE InheritableFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs tarvi-cli.exe with the arguments (none holds a blank) and waits up to a minute.
TRun RunCli(const std::vector<std::string>& args) {
  const std::string folder = ThisFolder();
  std::string commandLine = "\"" + folder + "tarvi-cli.exe\"";
  for (const std::string& arg : args)
    commandLine += " " + arg;
  const std::string outPath = folder + "cli_on_wine.out";
  const std::string errPath = folder + "cli_on_wine.err";
  HANDLE out = InheritableFile(outPath);
  HANDLE err = InheritableFile(errPath);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  TRun run;
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) {
    ADD_FAILURE() << "cannot start " << commandLine << ": error " << GetLastError();
    return run;
  }
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &run.status);
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process.hProcess, &created, &exited, &kernel, &user))
      run.cpuSeconds = Seconds(kernel) + Seconds(user);
  } else {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, INFINITE);
    ADD_FAILURE() << commandLine << " did not end within a minute";
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  run.out = ReadText(outPath);
  run.err = ReadText(errPath);
  return run;
}

// As in the program's tests on Linux: a longer silence ends a reply, so that the virtual device,
// held up within a reply on a busy machine, is not cut short.
constexpr const char* kGap = "--gap=60";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* port = std::getenv("TARVI_COM_PORT");
    if (port == nullptr) GTEST_SKIP() << "no virtual device (run under scripts/with-sim-com-port)";
    port_ = port;
  }
  std::string port_;
};

TEST_F(CliOnWine, ReadShowsTheDecodedBlock) {
  const TRun run = RunCli({"read", "-p", port_, "-a", "247", kGap});
  ASSERT_EQ(run.status, 0u) << run.err;
  EXPECT_TRUE(Contains(run.out,
                       "model             ТАРВИ-А (id 14)\naddress           247\n"
                       "rate              9600 Bd (code 4)\n"))
      << run.out;
  EXPECT_TRUE(Contains(run.out, "on-command mode   2 (steady light and sound)")) << run.out;
}

TEST_F(CliOnWine, SetIsConfirmedAndTheDeviceKeepsIt) {
  const TRun set =
      RunCli({"set", "-p", port_, "-a", "247", "--power-up", "4", "--remember", "yes", kGap});
  ASSERT_EQ(set.status, 0u) << set.out << set.err;
  EXPECT_TRUE(Contains(set.out, "written")) << set.out;

  // A second program reads what the device now holds: the device heard the writes.
  const TRun read = RunCli({"read", "-p", port_, "-a", "247", "--json", kGap});
  ASSERT_EQ(read.status, 0u) << read.err;
  const auto document = ParseJson(read.out);
  ASSERT_TRUE(document) << read.out;
  EXPECT_EQ((*document)["block"]["power_up"].Int(), 4);
  EXPECT_TRUE((*document)["block"]["remember"].boolean);
  EXPECT_EQ((*document)["block"]["model"].text, "ТАРВИ-А");

  const TRun back =
      RunCli({"set", "-p", port_, "-a", "247", "--power-up", "0", "--remember", "no", "-q", kGap});
  EXPECT_EQ(back.status, 0u) << back.err;
}

TEST_F(CliOnWine, ScanOfAShortRangeFindsTheDevice) {
  const TRun run = RunCli({"scan", "-p", port_, "--from", "245", "--to", "247", "--json", kGap});
  ASSERT_EQ(run.status, 0u) << run.out << run.err;
  const auto lines = ParseJsonLines(run.out);
  ASSERT_TRUE(lines) << run.out;
  std::vector<long> found;
  for (const TJsonValue& line : *lines)
    if (line["event"].text == "found") found.push_back(line["address"].Int());
  EXPECT_EQ(found, std::vector<long>{247}) << run.out;
  ASSERT_FALSE(lines->empty());
  EXPECT_EQ(lines->back()["event"].text, "end");
  EXPECT_EQ(lines->back()["probes"].Int(), 3);  // one probe an address: nothing was garbled
}

TEST_F(CliOnWine, ScanAsksAGarbledReplyOnceMore) {
  // 10 is silent, 11 answers with a corrupt reply, 12 with an exception.
  const TRun run = RunCli({"scan", "-p", port_, "--from", "10", "--to", "12", "--json", kGap});
  EXPECT_EQ(run.status, 1u) << run.out << run.err;  // none of the family
  const auto lines = ParseJsonLines(run.out);
  ASSERT_TRUE(lines) << run.out;
  std::vector<long> garbled;
  std::vector<long> others;
  for (const TJsonValue& line : *lines) {
    if (line["event"].text == "garbled") garbled.push_back(line["address"].Int());
    if (line["event"].text == "other") others.push_back(line["address"].Int());
  }
  EXPECT_EQ(garbled, std::vector<long>{11}) << run.out;
  EXPECT_EQ(others, std::vector<long>{12}) << run.out;
  ASSERT_FALSE(lines->empty());
  EXPECT_EQ(lines->back()["event"].text, "end");
  EXPECT_EQ(lines->back()["probes"].Int(), 4) << run.out;  // 11 was asked twice
}

struct TFaultCase {
  const char* address;
  const char* kind;     // the "kind" of the JSON error
  const char* message;  // in the message on standard error
};

TEST_F(CliOnWine, DeviceFaultsEndWithStatusOneAndNameTheFault) {
  const TFaultCase cases[] = {
      {"10", "no_answer", "no answer from 10 at 9600 Bd within 350 ms"},
      {"11", "crc_error", "CRC error in the reply from 11 at 9600 Bd"},
      {"12", "exception", "device 12 at 9600 Bd refused the request: exception code 2"},
  };
  for (const TFaultCase& c : cases) {
    SCOPED_TRACE(c.address);
    const TRun run = RunCli({"read", "-p", port_, "-a", c.address, "--json", kGap});
    EXPECT_EQ(run.status, 1u) << run.out << run.err;
    EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
    const auto document = ParseJson(run.out);
    ASSERT_TRUE(document) << run.out;
    EXPECT_EQ((*document)["error"]["kind"].text, c.kind);
  }
}

TEST_F(CliOnWine, APortThatDoesNotExistEndsWithStatusThree) {
  const TRun run = RunCli({"read", "-p", "COM77", "-a", "247"});
  EXPECT_EQ(run.status, 3u) << run.out << run.err;
  EXPECT_TRUE(Contains(run.err, "COM77: Unable to open com port (win error code: 2)")) << run.err;
  EXPECT_TRUE(Contains(run.err, "no such port")) << run.err;
}

TEST_F(CliOnWine, APortHeldByAnotherProgram) {
  if (RunningOnWine()) {
    GTEST_SKIP() << "wine does not keep a COM port to its first opener: a second open without "
                    "sharing succeeds (and the program reads the device), where Windows refuses "
                    "it with ERROR_ACCESS_DENIED";
  }
  // The other program: a handle of this process, opened without sharing.
  HANDLE holder = CreateFileA(("\\\\.\\" + port_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const TRun run = RunCli({"read", "-p", port_, "-a", "247", kGap});
  CloseHandle(holder);
  EXPECT_EQ(run.status, 3u) << run.out << run.err;
  EXPECT_TRUE(Contains(run.err, "(win error code: 5)")) << run.err;
  EXPECT_TRUE(Contains(run.err, "another program holds the port")) << run.err;
}

// What wine cannot show through a port (a held port, a vanished adapter): the advice for each
// Windows error code.
TEST(PortFailureAdviceOnWindows, NamesTheCauseForTheCodesAPortGives) {
  const struct {
    int code;
    const char* advice;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, "no such port"},
      {ERROR_PATH_NOT_FOUND, "no such port"},
      {ERROR_ACCESS_DENIED, "another program holds the port"},
      {ERROR_SHARING_VIOLATION, "another program holds the port"},
      {ERROR_GEN_FAILURE, "the port has gone"},
      {ERROR_BAD_COMMAND, "the port has gone"},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(Contains(PortFailureAdvice(c.code), c.advice)) << c.code;
  EXPECT_EQ(PortFailureAdvice(ERROR_INVALID_PARAMETER), "");
}

// What wine cannot show over the network (a gateway that refuses the COM-port option, one that
// closes the connection): the advice for each code of the network layer.
TEST(NetworkFailureAdviceOnWindows, NamesTheCauseForTheCodesAConnectionGives) {
  const struct {
    int code;
    const char* advice;
  } cases[] = {
      {WSAHOST_NOT_FOUND, "does not resolve"},
      {ERROR_INVALID_NAME, "rfc2217://HOST:PORT"},
      {WSAEPROTONOSUPPORT, "refuses the COM-port option"},
      {ERROR_BAD_NET_RESP, "does not negotiate the COM-port option"},
      {WSAECONNREFUSED, "check the gateway's address and port"},
      {WSAETIMEDOUT, "check the gateway's address and port"},
      {ERROR_GEN_FAILURE, "check the gateway's address and port"},  // the gateway closed it
  };
  for (const auto& c : cases)
    EXPECT_TRUE(Contains(NetworkFailureAdvice(c.code), c.advice)) << c.code;
}

class CliOverNetworkOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* telnet = std::getenv("TARVI_GATEWAY_TELNET");
    const char* raw = std::getenv("TARVI_GATEWAY_RAW");
    if (telnet == nullptr || raw == nullptr)
      GTEST_SKIP() << "no gateway (run under scripts/with-sim-gateway)";
    telnet_ = telnet;
    raw_ = raw;
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override { WSACleanup(); }

  // A socket listening on a free loopback port, and the port; never accepts nor answers.
  SOCKET Listener(int& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(s, 4) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no loopback listener: " << WSAGetLastError();
    }
    port = ntohs(address.sin_port);
    return s;
  }

  std::string telnet_;
  std::string raw_;
};

TEST_F(CliOverNetworkOnWine, ReadThroughTheGateway) {
  for (const std::string& port : {telnet_, raw_}) {
    SCOPED_TRACE(port);
    const TRun run = RunCli({"read", "-p", port, "-a", "247", kGap});
    ASSERT_EQ(run.status, 0u) << run.err;
    EXPECT_TRUE(Contains(run.out,
                         "model             ТАРВИ-А (id 14)\naddress           247\n"
                         "rate              9600 Bd (code 4)\n"))
        << run.out;
  }
}

// Settings and a new rate over the COM-port option: the rate reaches the line (the device is
// read at it afterwards), and the device keeps what was written.
TEST_F(CliOverNetworkOnWine, SetOverTheComPortOptionIsFollowed) {
  const TRun set = RunCli({"set", "-p", telnet_, "-a", "247", "--power-up", "4", "--remember",
                           "yes", "--new-rate", "19200", kGap});
  ASSERT_EQ(set.status, 0u) << set.out << set.err;
  const TRun read = RunCli({"read", "-p", telnet_, "-a", "247", "-r", "19200", "--json", kGap});
  ASSERT_EQ(read.status, 0u) << read.err;
  const auto document = ParseJson(read.out);
  ASSERT_TRUE(document) << read.out;
  EXPECT_EQ((*document)["block"]["power_up"].Int(), 4);
  EXPECT_TRUE((*document)["block"]["remember"].boolean);
  EXPECT_EQ((*document)["block"]["baud_code"].Int(), 6) << read.out;  // 19200 Bd

  const TRun back = RunCli({"set", "-p", telnet_, "-a", "247", "-r", "19200", "--power-up", "0",
                            "--remember", "no", "--new-rate", "9600", "-q", kGap});
  EXPECT_EQ(back.status, 0u) << back.err;
}

// Between the reads the port's monitor thread waits on the connection: it must sleep, not spin.
TEST_F(CliOverNetworkOnWine, WatchSleepsBetweenReads) {
  const auto start = std::chrono::steady_clock::now();
  const TRun run =
      RunCli({"watch", "-p", telnet_, "-a", "247", "--count", "4", "--interval", "700", kGap});
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(run.status, 0u) << run.out << run.err;
  EXPECT_GE(took, 2.0);
  // A spinning monitor would take one core for the whole run; start-up under wine takes some.
  EXPECT_LT(run.cpuSeconds, 0.4 * took) << run.cpuSeconds << " s of CPU in " << took << " s";
}

// A gateway that takes the request and closes the connection: the exchange fails as with an
// adapter pulled out, with the port's message and the gateway's advice.
TEST_F(CliOverNetworkOnWine, AGatewayClosingTheConnectionFailsTheExchange) {
  int port = 0;
  const SOCKET listener = Listener(port);
  std::thread gateway([listener] {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval limit{20, 0};
    if (select(0, &readable, nullptr, nullptr, &limit) != 1) return;
    const SOCKET client = accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    char request[8];
    for (int got = 0, n; got < 8 && (n = recv(client, request + got, 8 - got, 0)) > 0;)
      got += n;
    closesocket(client);
  });
  const TRun run = RunCli({"read", "-p", "tcp://127.0.0.1:" + std::to_string(port), "-a", "247",
                           "--timeout", "3000", kGap});
  gateway.join();
  closesocket(listener);
  EXPECT_EQ(run.status, 3u) << run.out << run.err;
  EXPECT_TRUE(Contains(run.err, "(win error code: 31)")) << run.err;
  EXPECT_TRUE(Contains(run.err, "check the gateway's address and port")) << run.err;
}

TEST_F(CliOverNetworkOnWine, ConnectionFailuresEndWithStatusThreeAndAdvice) {
  int mutePort = 0;
  const SOCKET mute = Listener(mutePort);  // accepts in its backlog, never negotiates
  int freePort = 0;
  closesocket(Listener(freePort));  // nobody listens there any more
  const struct {
    const char* name;
    std::string port;
    const char* message;
    const char* advice;
  } cases[] = {
      {"nobody listens", "rfc2217://127.0.0.1:" + std::to_string(freePort),
       "Unable to open com port (win error code: 10061)", "check the gateway's address and port"},
      {"nobody listens on ::1", "tcp://[::1]:" + std::to_string(freePort),
       "Unable to open com port (win error code: 10061)", "check the gateway's address and port"},
      {"malformed name", "tcp://127.0.0.1", "(win error code: 123)", "rfc2217://HOST:PORT"},
      {"name does not resolve", "rfc2217://no-such-gateway.invalid:2217", "(win error code: 11001)",
       "does not resolve"},
      {"never negotiates", "rfc2217://127.0.0.1:" + std::to_string(mutePort),
       "(win error code: 58)", "does not negotiate the COM-port option"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    const TRun run = RunCli({"read", "-p", c.port, "-a", "247", kGap});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.status, 3u) << run.out << run.err;
    EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
    EXPECT_TRUE(Contains(run.err, c.advice)) << run.err;
    EXPECT_LT(took, std::chrono::seconds(10));  // bounded: about 2 s for the negotiation at most
  }
  closesocket(mute);
}

// The table names each port as it is typed after -p on Windows: COM1, not \\.\COM1.
TEST_F(CliOnWine, PortsTableShowsComNames) {
  const TRun run = RunCli({"ports"});
  ASSERT_EQ(run.status, 0u) << run.err;
  EXPECT_EQ(run.out.rfind("PORT", 0), 0u) << run.out;
  EXPECT_TRUE(Contains(run.out, "\nCOM")) << run.out;
  EXPECT_FALSE(Contains(run.out, "\\\\.\\")) << run.out;
}

TEST_F(CliOnWine, PortsAsJson) {
  const TRun run = RunCli({"ports", "--json"});
  ASSERT_EQ(run.status, 0u) << run.err;
  const auto document = ParseJson(run.out);
  ASSERT_TRUE(document) << run.out;
  // The prefix's registry lists its COM ports (wine's own COM1 at least), each with the driver
  // the system names.
  ASSERT_FALSE((*document)["ports"].items.empty()) << run.out;
  for (const TJsonValue& port : (*document)["ports"].items) {
    EXPECT_EQ(port["name"].text.rfind("COM", 0), 0u) << run.out;
    EXPECT_FALSE(port["driver"].text.empty()) << run.out;
  }
}

// The help of the Windows build names Windows' things: COM names and Device Manager, how cmd
// and PowerShell show the exit status; nothing of Linux's device paths. In Russian as well.
TEST(CliHelpOnWindows, NamesWindowsThingsInEnglishAndRussian) {
  const struct {
    const char* language;
    const char* deviceManager;
  } languages[] = {{"C", "Device Manager"}, {"ru", "Диспетчер устройств"}};
  for (const auto& language : languages) {
    SetEnvironmentVariableA("LANG", language.language);
    const TRun overview = RunCli({"--help"});
    const TRun read = RunCli({"read", "--help"});
    const TRun ports = RunCli({"ports", "--help"});
    const TRun apply = RunCli({"apply", "--help"});
    SetEnvironmentVariableA("LANG", nullptr);
    for (const TRun* run : {&overview, &read, &ports, &apply}) {
      EXPECT_EQ(run->status, 0u) << run->err;
      EXPECT_FALSE(Contains(run->out, "/dev/")) << run->out;
      EXPECT_FALSE(Contains(run->out, "{")) << "a marker left: " << run->out;
    }
    EXPECT_TRUE(Contains(overview.out, "%ERRORLEVEL%")) << overview.out;
    EXPECT_TRUE(Contains(read.out, "COM12, \\\\.\\COM12")) << read.out;
    EXPECT_TRUE(Contains(read.out, language.deviceManager)) << read.out;
    EXPECT_TRUE(Contains(ports.out, language.deviceManager)) << ports.out;
    EXPECT_TRUE(Contains(ports.out, "COM2")) << ports.out;
    EXPECT_TRUE(Contains(apply.out, "  COM3,247,9600")) << apply.out;
  }
}

}  // namespace
