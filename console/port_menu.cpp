// The Port menu: filled at window creation and at every press on the menu bar with the serial
// ports present, or, when the system list is unavailable or empty, with the first ten lines of
// "comports.txt" in the current folder. One entry is checked and becomes ComPort1's port.
#include <QAction>
#include <QString>
#include <exception>
#include <string>

#include "console/main_window.h"
#include "serial/port_discovery.h"
#include "system/text_file_reader.h"

namespace {

constexpr const char* kFileName = "comports.txt";
constexpr int kFileLines = 10;

const char* const kLineListUnavailable = "   : РЕЕСТР - ОШИБКА ДОСТУПА К СПИСКУ COM-ПОРТОВ.";
const char* const kLineAskingFile = "   : ЗАПРОС СПИСКА ИЗ ФАЙЛА \"COMPORTS.TXT\".....";
const char* const kLineFileOk = "   : OK.";  // Latin O and K
// The first letter of СOMPORTS is the Cyrillic С; the rest of the word is Latin.
std::string FileErrorLine(const char* message) {
  return std::string("   : ФАЙЛ \"\u0421OMPORTS.TXT\": - ") + message + ".";
}

std::string EntryName(const QAction* entry) {
  return entry->data().toString().toStdString();
}

}  // namespace

void TForm1::TeMenuBar1MouseDown() {
  FillPortMenu();
}

namespace {

// The entries of one fill and the two indexes its choice rests on.
struct TPortFill {
  int comOneIndex = -1;
  int currentIndex = -1;
  int count = 0;
};

}  // namespace

void TForm1::FillPortMenu() {
  const std::string current = ComPort1->Port();
  TPortFill fill;

  const auto removePrevious = [this] {
    // Only as many as the menu holds: the table describes the entries of the latest fill.
    const auto shown = static_cast<std::size_t>(PORT1->actions().size());
    for (std::size_t k = 0; k < shown && k < PortItemTable.size(); ++k)
      delete PortItemTable[k];
    PortItemTable.clear();
  };
  const auto addEntry = [&](const std::string& name) {
    // The caption is the name unchanged; '&' is doubled so that the menu shows it as written.
    auto* entry = new QAction(QString::fromStdString(name).replace('&', "&&"), this);
    entry->setData(QString::fromStdString(name));
    entry->setCheckable(true);
    entry->setChecked(false);
    QObject::connect(entry, &QAction::triggered, this, [this, entry] { My(entry); });
    PORT1->addAction(entry);
    PortItemTable.push_back(entry);
    if (name == "COM1") fill.comOneIndex = fill.count;
    if (name == current) fill.currentIndex = fill.count;
    ++fill.count;
  };
  // The current port, else COM1, else the first entry; a failure to reopen the port under the
  // chosen name leaves the entry checked and panel 0 as it was.
  const auto choose = [&] {
    const int chosen = fill.currentIndex >= 0  ? fill.currentIndex
                       : fill.comOneIndex >= 0 ? fill.comOneIndex
                                               : 0;
    QAction* entry = PortItemTable[static_cast<std::size_t>(chosen)];
    entry->setChecked(true);
    ComPort1->SetPort(EntryName(entry));
    StatusBar1->SetPanelText(0, QString::fromStdString(EntryName(entry)));
  };
  const auto fillFromFile = [&] {
    TTextFileReader file(kFileName);
    for (int i = 0; i < kFileLines && !file.AtEnd(); ++i)
      addEntry(file.ReadLine());
    if (fill.count > 0) choose();
  };

  const std::optional<std::vector<std::string>> system = ReadSystemPortList();
  if (!system) {
    TeMemo1->Clear();
    TeMemo1->AddLine(kLineListUnavailable);
    TeMemo1->AddLine(kLineAskingFile);
    try {
      removePrevious();
      fillFromFile();
      TeMemo1->AddLine(kLineFileOk);
    } catch (const std::exception& failure) {
      TeMemo1->SetColour(TLogColour::Blue);
      TeMemo1->AddLine(FileErrorLine(failure.what()));
    }
    return;
  }

  removePrevious();
  if (system->empty()) {
    try {
      fillFromFile();
    } catch (const std::exception& failure) {
      TeMemo1->Clear();
      TeMemo1->SetColour(TLogColour::Blue);
      TeMemo1->AddLine(FileErrorLine(failure.what()));
    }
    return;
  }
  for (const std::string& name : *system)
    addEntry(name);
  try {
    choose();
  } catch (const std::exception&) {
    // A port that cannot be reopened under the chosen name is reported by the next exchange.
  }
}

void TForm1::My(QAction* sender) {
  for (QAction* entry : PORT1->actions())
    entry->setChecked(false);
  sender->setChecked(true);
  try {
    ComPort1->SetPort(EntryName(sender));
    StatusBar1->SetPanelText(0, QString::fromStdString(EntryName(sender)));
  } catch (const std::exception&) {
    // The port was open and cannot be opened under the new name: it stays closed with the new
    // name, and panel 0 keeps the name it showed.
  }
}
