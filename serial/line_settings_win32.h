// The line-settings record of Windows (DCB) built from the component's settings, field by field.
#pragma once

#include <windows.h>

#include "serial/serial_device.h"

// Binary mode always on, abort on error off, the end-of-file byte 0; every other field from the
// settings (XON/XOFF limits as given, a quarter of the input queue).
DCB LineSettingsToDcb(const TLineSettings& s);
