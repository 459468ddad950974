// The message box of the Linux build: the stand-in platform's MessageBoxA is shown as a real
// ownerless Qt message box.
#pragma once

#ifndef _WIN32

// Shows an ownerless message box with the caption and text given and a single OK button, and
// waits in a nested event loop until it is dismissed; the other windows stay usable meanwhile.
// Answers IDOK. Needs a QApplication.
int show_message_box(const char* caption, const char* text, unsigned type);

// Routes the platform's MessageBoxA to show_message_box.
void install_message_box_handler();

#endif // _WIN32
