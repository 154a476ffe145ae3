// The 16 x 16 picture of the parameter-query button: two curved arrows chasing each other
// ("repeat"), navy, and grey while the button is disabled.
#pragma once

#include <QIcon>

QIcon MakeRepeatIcon();
