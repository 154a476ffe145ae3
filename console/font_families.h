// The font families the window asks for, in order of preference. The window is laid out for
// "Courier New" (its text font) and "MS Sans Serif" (row labels, address fields, baud list,
// status bar); each platform file lists those names and what stands in for them there.
#pragma once

#include <QStringList>

QStringList MonospaceFamilies();
QStringList SansFamilies();
