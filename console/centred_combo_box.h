// TCentredComboBox: a drop-down list without free text that shows its current item centred. The
// mouse wheel changes the selection only while the list has the focus, so scrolling over the
// window cannot send a command to the device by accident.
#pragma once

#include <QComboBox>

class TCentredComboBox : public QComboBox {
 public:
  explicit TCentredComboBox(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
};
