// The real main window on Windows, started as the program starts it, reporting what a check
// outside the process cannot read: the caption and the client area as Windows has them, the
// ports of the Port menu, and the traffic log once the first exchange has ended.
//
//   window_probe.exe REPORT_FILE [PORT]
//   window_probe.exe REPORT_FILE --texts
//
// With PORT, the Port menu entry of that name is chosen as the operator's click on it would.
// The probe then waits (up to a minute) for an exchange started from outside, by a click on a
// button, writes the log's lines and colour to the report and ends. The report is UTF-8, one
// "key: value" per line; the check script compares it with the exact texts.
// With --texts the probe reports instead, once the window is shown, the faces in use, each caption
// that its control's room cuts ("cut: ..."), and the dark pixels of each address field's picture
// ("field: ... ink N"; none: the face draws no digits), and ends.
#include <windows.h>

#include <QAction>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <fstream>
#include <string>

#include "console/application.h"
#include "console/console_look.h"
#include "console/main_window.h"
#include "console/program_start.h"
#include "serial/com_exception.h"
#include "system/message_catalogue.h"

namespace {

std::string Utf8(const QString& text) {
  return text.toUtf8().toStdString();
}

QAction* PortEntry(const TForm1& form, const QString& name) {
  for (QAction* entry : form.PORT1->actions())
    if (entry->data().toString() == name) return entry;
  return nullptr;
}

QString Shown(QString caption) {
  return caption.remove(QLatin1Char('&'));
}

int Ink(QWidget* widget) {
  const QImage image = widget->grab().toImage();
  int dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 128) ++dark;
  return dark;
}

void ReportTexts(TForm1& form, std::ostream& report) {
  report << "faces: " << Utf8(QFontInfo(form.font()).family()) << ", "
         << Utf8(QFontInfo(form.TeSpinEdit1->font()).family()) << '\n';
  const QStyle* style = form.style();
  for (QCheckBox* box : form.findChildren<QCheckBox*>()) {
    const int needed = QFontMetrics(box->font()).horizontalAdvance(box->text()) +
                       style->pixelMetric(QStyle::PM_IndicatorWidth) +
                       style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    if (needed > box->width()) report << "cut: " << Utf8(box->text()) << '\n';
  }
  for (QPushButton* button : form.findChildren<QPushButton*>()) {
    int needed = QFontMetrics(button->font()).horizontalAdvance(Shown(button->text())) +
                 style->pixelMetric(QStyle::PM_ButtonMargin) +
                 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    if (!button->icon().isNull()) needed += button->iconSize().width() + 4;
    if (needed > button->width()) report << "cut: " << Utf8(button->text()) << '\n';
  }
  for (QLabel* label : form.findChildren<QLabel*>()) {
    if (label->isVisible() &&
        QFontMetrics(label->font()).horizontalAdvance(label->text()) > label->width())
      report << "cut: " << Utf8(label->text()) << '\n';
  }
  for (TSpinField* field : {form.TeSpinEdit1, form.TeSpinEdit2}) {
    QLineEdit* edit = field->findChild<QLineEdit*>();
    report << "field: " << Utf8(edit->text()) << " ink " << Ink(edit) << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ofstream report(argv[1], std::ios::binary | std::ios::trunc);
  if (!report) return 2;
  const bool texts = argc > 2 && std::string(argv[2]) == "--texts";
  const QString port = argc > 2 && !texts ? QString::fromLocal8Bit(argv[2]) : QString();

  SetUpMessageCatalogues(ProgramDirectory());
  BuildComMessageTable();
  TTarviApplication application(argc, argv);
  ApplyConsoleLook(application);
  ConnectMainThreadQueue();
  int status = 0;
  {
    TForm1 form;
    form.show();

    if (texts) {
      TTarviApplication::processEvents();
      ReportTexts(form, report);
      report << "done" << std::endl;
      // The window stays a moment for a screenshot from outside.
      QTimer::singleShot(3000, [] { TTarviApplication::quit(); });
      TTarviApplication::exec();
      DisconnectMainThreadQueue();
      return 0;
    }
    RECT client{};
    GetClientRect(reinterpret_cast<HWND>(form.winId()), &client);
    report << "caption: " << Utf8(form.windowTitle()) << '\n';
    report << "client: " << client.right - client.left << 'x' << client.bottom - client.top << '\n';
    std::string ports;
    for (const QAction* entry : form.PORT1->actions()) {
      if (!ports.empty()) ports += ' ';
      ports += Utf8(entry->data().toString());
    }
    report << "ports: " << ports << '\n';
    if (!port.isEmpty()) {
      QAction* entry = PortEntry(form, port);
      if (entry != nullptr) {
        entry->trigger();
      } else {
        report << "error: no Port menu entry " << Utf8(port) << '\n';
        status = 1;
      }
    }
    report << "port: " << form.ComPort1->Port() << '\n';
    report << "ready" << std::endl;

    // The log of the first exchange, once it has ended: its request line is in and the
    // colour has turned from red (reply awaited) to blue.
    const QStringList atStart = form.TeMemo1->Lines();
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      const QStringList lines = form.TeMemo1->Lines();
      const bool ended = lines != atStart && !lines.isEmpty() &&
                         lines.front().startsWith("TX : ") &&
                         form.TeMemo1->Colour() == QColor(0, 0, 255);
      if (ended) {
        for (const QString& line : lines)
          report << "log: " << Utf8(line) << '\n';
        report << "colour: " << Utf8(form.TeMemo1->Colour().name()) << '\n';
      } else if (elapsed.elapsed() < 60'000) {
        return;
      } else {
        report << "error: no exchange ended within a minute\n";
        status = 1;
      }
      report.flush();
      TTarviApplication::quit();
    });
    poll.start(20);
    TTarviApplication::exec();
  }
  DisconnectMainThreadQueue();
  return status;
}
