// The message loop with the control panel's main window, as the platform toolkit runs it.
#pragma once

class QWidget;

// Shows window and runs the message loop until window is closed; returns the loop's exit
// code. Closing window ends the loop even while another window of the program is still on
// screen, such as the apply operation's message box without an owner: that box's own wait
// ends with it.
int run_main_window(QWidget& window);
