// TFlatGroupBox: a group box drawn flat: a one-pixel frame with its caption set into the top edge
// at a fixed left offset, in CaptionFont(). The box itself keeps the window's font, which its
// controls inherit. Its children are placed at fixed positions, and CaptionSpan tells where a part
// of the caption is drawn, so that controls can be lined up under a heading that the caption's
// blanks put in place.
#pragma once

#include <QFont>
#include <QGroupBox>
#include <QString>

class TFlatGroupBox : public QGroupBox {
 public:
  explicit TFlatGroupBox(const QString& caption, QWidget* parent = nullptr);

  static constexpr int kCaptionLeft = 8;

  // The font the caption is drawn in.
  const QFont& TitleFont() const { return captionFont_; }

  // Left and right x of the first occurrence of part in the caption (-1, -1 when absent).
  std::pair<double, double> CaptionSpan(const QString& part) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QFont captionFont_;
};
