// TForm1 as the protocol sees it (TConsoleLink): the controls the protocol sets and reads.
#include <QMessageBox>
#include <QPointer>

#include "console/main_window.h"

namespace {
QString FromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}
}  // namespace

void TForm1::ClearModeButtons() {
  ColumnA->Clear();
  ColumnB->Clear();
}

void TForm1::SelectModeButton(TModeColumn column, int mode) {
  (column == TModeColumn::PowerUp ? ColumnA : ColumnB)->Select(mode);
}

void TForm1::SetRememberChecked(bool checked) {
  TeCheckBox1->setChecked(checked);
}

void TForm1::SetAddressField(int value) {
  TeSpinEdit1->SetValue(value);
}

void TForm1::SetAddressLabel(const std::string& caption) {
  TeLabel5->setText(FromUtf8(caption));
  TeLabel5->adjustSize();
}

void TForm1::SetStatusText(int panel, const std::string& text) {
  if (panel >= 0 && panel < StatusBar1->PanelCount())
    StatusBar1->SetPanelText(panel, FromUtf8(text));
}

bool TForm1::AskYesNo(const std::string& title, const std::string& message) {
  // The window may be taken apart while the question is open (its event loop runs every other
  // event): the box is its child on the heap, so it goes with the window and its loop ends,
  // and nothing of the window is touched once it is gone.
  const QPointer<TForm1> self(this);
  const QPointer<QMessageBox> question =
      new QMessageBox(QMessageBox::Warning, FromUtf8(title), FromUtf8(message),
                      QMessageBox::Yes | QMessageBox::No, this);
  question->setDefaultButton(QMessageBox::Yes);
  question->setEscapeButton(QMessageBox::No);
  const bool yes = question->exec() == QMessageBox::Yes;
  if (!self) return false;
  delete question;
  // The focus comes back to the window (and FormActivate runs) even where the window system
  // leaves activation to the program once the box is gone.
  activateWindow();
  return yes;
}

void TForm1::SetProgressVisible(bool visible) {
  TeProgressBar1->setVisible(visible);
}

void TForm1::SetProgressPosition(int position) {
  TeProgressBar1->SetPosition(position);
}

void TForm1::SetSearchCaption(const std::string& caption) {
  CustomItem4->setText(FromUtf8(caption));
}

void TForm1::FocusMenuBar() {
  TeMenuBar1->setFocus(Qt::OtherFocusReason);
}
