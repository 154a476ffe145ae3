#include "tests/console/form_fixture.h"

#include <QTest>

bool FormTest::ShowActive() {
  form->show();
  form->activateWindow();
  return QTest::qWaitForWindowActive(form.get());
}
