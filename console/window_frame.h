// The height that the title bar and the borders add to the client area of the main window (a
// fixed border with a caption, a system menu and a minimise button), needed before the window
// is shown to fit it to the screen.
#pragma once

int TitledFrameHeight();
