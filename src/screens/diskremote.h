// The desktop's media controls and the keyboard's media keys on the disk
// screen: both become the key presses that do the same, so every rule of
// the keys holds for them.
#pragma once

struct DiskState;
struct IntuiMessage;

// Called once per pass with the window's message (or null) before the pass
// acts on it. Reports the screen's state to the desktop; turns the media
// Play/Pause key into play or pause; with no window message, returns a
// desktop command as the key message that does the same, built in spare
// (replying to it is harmless), or null.
IntuiMessage *diskRemote(const DiskState *state, IntuiMessage *message, IntuiMessage *spare);
