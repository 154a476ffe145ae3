// Closing the real program as an operator does: `tarvi` runs under its own X server (Xvfb, no
// window manager) against the virtual device, is driven with xdotool, and its window gets the
// window system's close request (WM_DELETE_WINDOW, what a close button sends) during an exchange,
// during a search, and while the yes/no question is open. The process must end at once.
#include <QElapsedTimer>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "tests/robustness/faulty_line.h"
#include "tests/sim/child_process.h"
#include "tests/support/case_name.h"
#include "tests/support/program_dir.h"
#include "tests/support/qt_environment.h"
#include "tests/support/wait_until.h"

namespace {

using namespace std::chrono_literals;

const char* const kXvfb = "/usr/bin/Xvfb";
const char* const kXdotool = "/usr/bin/xdotool";

const char* EnvOr(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class RealProgram : public FaultyLine {
 protected:
  void SetUp() override {
    FaultyLine::SetUp();
    closer_ = ProgramDir() + "/tarvi-test-close-window";
    keyboard_held_ = ProgramDir() + "/tarvi-test-keyboard-held";
    for (const std::string& tool :
         {std::string(kXvfb), std::string(kXdotool), closer_, keyboard_held_})
      if (!std::filesystem::exists(tool))
        GTEST_SKIP() << tool << " is needed (scripts/install-deps)";
    // -noreset: a server resets itself when its last client leaves, and a client that comes
    // during the reset is turned away; the program's display check is a client that leaves
    // just before the toolkit connects.
    xserver_ = std::make_unique<TChildProcess>(
        kXvfb, std::vector<std::string>{"Xvfb", "-displayfd", "1", "-noreset", "-nolisten", "tcp",
                                        "-screen", "0", "1024x768x24"});
    const auto number = xserver_->ReadLine(20s);
    ASSERT_TRUE(number) << "Xvfb did not start: " << xserver_->Stderr();
    display_ = ":" + *number;
  }

  void TearDown() override {
    program_.reset();
    xserver_.reset();
    FaultyLine::TearDown();
  }

 public:
  TForm1& Layout() { return *form; }

  // Starts the program with the adapter of the bus as its only port (the system list empty, so
  // "comports.txt" of the working folder names it), and waits for its window.
  void StartProgram() {
    TestPortList().folder.Write("comports.txt", link + "\n");
    TFakeSysfs& sysfs = TestPortList().sysfs;
    sysfs.ClearPorts();
    setenv("DISPLAY", display_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // In a sanitizer build: the X keyboard library reads a counted string with strndup, which
    // the strict string checks take for an overflow; the system libraries' lasting allocations
    // are no leaks of the program.
    const std::string asan = std::string(EnvOr("ASAN_OPTIONS")) + ":strict_string_checks=0";
    const std::string lsan = std::string(EnvOr("LSAN_OPTIONS")) +
                             ":suppressions=" TARVI_SOURCE_DIR
                             "/tests/lsan.supp:print_suppressions=0";
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    setenv("LSAN_OPTIONS", lsan.c_str(), 1);
    program_ =
        std::make_unique<TChildProcess>(ProgramDir() + "/tarvi", std::vector<std::string>{"tarvi"});
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    window_ = Find("ТАРВИ-А");
    ASSERT_FALSE(window_.empty()) << program_->Stderr() << "\nX server on " << display_ << ": "
                                  << (xserver_->Wait(0ms) ? "ended" : "running") << "\n"
                                  << xserver_->Stderr();
  }

  // Runs xdotool on the test display; returns the first line it prints.
  std::string Xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    TChildProcess tool(kXdotool, args);
    std::string line = tool.ReadLine(15s).value_or("");
    tool.Wait(15s);
    return line;
  }
  // Waits until a window with the title is shown and returns its id (empty after 30 s). Asked
  // again and again rather than with --sync: xdotool gives up on an X error, which it meets when
  // another window goes away while it looks at it (the list closing as the question opens).
  std::string Find(const std::string& title) {
    std::string found;
    WaitUntil(
        [&] {
          TChildProcess tool(kXdotool, {"xdotool", "search", "--onlyvisible", "--name", title});
          tool.Wait(15s);
          const std::string out = tool.Stdout();
          found = out.substr(0, out.find('\n'));
          return !found.empty();
        },
        30s, [] { std::this_thread::sleep_for(20ms); });
    return found;
  }

  // Waits until a popup of the program (a drop-down list, a menu) holds the keyboard. Qt maps a
  // popup first and grabs the keyboard after that; keys sent in between go to the main window,
  // where Down alone picks the next rate and Return answers the question it raises.
  bool WaitForPopupKeys(std::chrono::milliseconds patience) {
    return WaitUntil(
        [&] {
          TChildProcess probe(keyboard_held_, {"tarvi-test-keyboard-held"});
          return probe.Wait(15s) == 0;
        },
        patience, [] { std::this_thread::sleep_for(20ms); });
  }

  // A click in the middle of a control, or at a point of it; the layout is that of the offscreen
  // window of the fixture, which is built from the same definition.
  void Click(QWidget* control, QPoint at = {-1, -1}) {
    if (at.x() < 0) at = control->rect().center();
    const QPoint p = control->mapTo(form.get(), at);
    Xdotool({"mousemove", "--window", window_, std::to_string(p.x()), std::to_string(p.y()),
             "click", "1"});
  }

  // Opens a drop-down list with the pointer and keeps it open: the button goes down on the box
  // and stays down until ReleaseButton. A box takes the release that follows its opening press
  // for a choice (over the list) or a dismissal (outside it) once its double-click interval has
  // passed; a loaded machine (ThreadSanitizer beside a compile) got there late, the list closed,
  // and the keys meant for it went to the main window.
  bool OpenList(QWidget* box) {
    const QPoint p = box->mapTo(form.get(), box->rect().center());
    Xdotool({"mousemove", "--window", window_, std::to_string(p.x()), std::to_string(p.y()),
             "mousedown", "1"});
    return WaitForPopupKeys(10s);
  }
  void ReleaseButton() { Xdotool({"mouseup", "1"}); }

  // The whole test display as a picture in the temporary folder, for a failure's message.
  std::string Screenshot() {
    const std::string path = std::filesystem::temp_directory_path() /
                             ("tarvi-close-" + std::to_string(getpid()) + ".png");
    TChildProcess import("/usr/bin/import",
                         {"import", "-display", display_, "-window", "root", path});
    return import.Wait(30s) == 0 ? path : "(none: import failed)";
  }

  // Sends the window the close request; returns the program's exit status and how long it
  // took to end after the request (nothing when it is still running after `patience`).
  std::optional<int> Close(const std::string& window, std::chrono::milliseconds patience,
                           std::chrono::milliseconds* took = nullptr) {
    TChildProcess closer(closer_, {"tarvi-test-close-window", window});
    EXPECT_EQ(closer.Wait(10s), 0);
    QElapsedTimer clock;
    clock.start();
    const auto status = program_->Wait(patience);
    if (took != nullptr) *took = std::chrono::milliseconds(clock.elapsed());
    return status;
  }

  std::unique_ptr<TChildProcess> program_;
  std::string window_;

 private:
  std::unique_ptr<TChildProcess> xserver_;
  std::string display_;
  std::string closer_;
  std::string keyboard_held_;
};

struct CloseCase {
  const char* name;
  // Brings the running program to the moment of the close.
  std::function<void(RealProgram&, sim::TVirtualDevice&)> bring;
};

void PrintTo(const CloseCase& c, std::ostream* os) {
  *os << c.name;
}

class ClosingTheProgram : public RealProgram, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ClosingTheProgram, EndsAtOnce) {
  sim::TVirtualDevice& device = AddDevice();  // 9600 Bd, as the program starts
  StartProgram();
  if (HasFatalFailure()) return;
  GetParam().bring(*this, device);
  if (HasFatalFailure()) return;
  std::chrono::milliseconds took{};
  const auto status = Close(window_, 5s, &took);
  RecordProperty("close_ms", std::to_string(took.count()));
  ASSERT_TRUE(status) << "still running 5 s after the close request";
  EXPECT_EQ(*status, 0) << program_->Stderr();
  EXPECT_LT(took, 1500ms);
  // The port was given back: the next program to open it can.
  ASSERT_TRUE(WaitForQuietLine());
  EXPECT_TRUE(CleanQueryWorks(device));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, ClosingTheProgram,
    ::testing::Values(
        CloseCase{"DuringAnExchange",
                  [](RealProgram& program, sim::TVirtualDevice& device) {
                    device.SetFaults({.silent = true, .count = 1});  // 350 ms without an answer
                    program.Click(program.Layout().TeButton4);
                    ASSERT_TRUE(device.WaitForRequest(1, 5s));
                  }},
        CloseCase{"DuringASearch",
                  [](RealProgram& program, sim::TVirtualDevice& device) {
                    QMenuBar& bar = *program.Layout().TeMenuBar1;
                    program.Click(
                        &bar,
                        bar.actionGeometry(program.Layout().CustomItem2->menuAction()).center());
                    ASSERT_TRUE(program.WaitForPopupKeys(10s)) << "the menu never took the keys";
                    program.Xdotool({"key", "--delay", "50", "Down", "Return"});  // Search > Start
                    ASSERT_TRUE(device.WaitForRequest(2, 5s)) << "no probes";
                  }},
        // The window system refuses to close a window under a modal box; the box's own close
        // answers it with No, and then the window closes as at any other moment.
        CloseCase{"WhileTheQuestionIsOpen",
                  [](RealProgram& program, sim::TVirtualDevice& device) {
                    ASSERT_TRUE(program.OpenList(program.Layout().TeSComboBox1))
                        << "the list never took the keys";
                    program.Xdotool({"key", "--delay", "50", "Down", "Return"});  // 9600 -> 14400
                    const std::string box = program.Find("Warning");
                    // Over the main window, which the question blocks: nothing takes it.
                    program.ReleaseButton();
                    ASSERT_FALSE(box.empty())
                        << "no question; the screen: " << program.Screenshot();
                    EXPECT_FALSE(program.Close(program.window_, 500ms))
                        << "closed under its modal box";
                    EXPECT_TRUE(program.Close(box, 0ms) == std::nullopt);
                    ASSERT_TRUE(device.WaitForRequest(1, 1s));
                    device.SetBaudCode(4);  // the PC stayed at 9600 (No): so does the device
                  }}),
    CaseName());

}  // namespace
