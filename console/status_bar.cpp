#include "console/status_bar.h"

#include "console/console_look.h"

namespace {
constexpr int kPanelGap = 2;
}

TStatusBar::TStatusBar(const std::vector<TPanel>& panels, QWidget* parent) : QWidget(parent) {
  setFixedHeight(kHeight);
  setFont(SansFont(11));
  int left = 0;
  for (const TPanel& panel : panels) {
    auto* label = new QLabel(this);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    label->setAlignment(panel.alignment | Qt::AlignVCenter);
    label->setIndent(3);
    label->setGeometry(left, 2, panel.width - kPanelGap, kHeight - 2);
    left += panel.width;
    panels_.push_back(label);
  }
}
