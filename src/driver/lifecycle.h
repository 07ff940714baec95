// The pieces of the program's life that main strings together: the
// farewell fade and the pause between the intro and the disk screen.
#pragma once

constexpr int FAREWELL_FRAMES = 300;
constexpr int PHASE_PAUSE_SECONDS = 2;

// Start-up up to the intro: seed, stage the pictures, open the display,
// make the textures, remove the staged files, show one frame and drop the
// input that came meanwhile. False when the pictures cannot be staged (said
// on standard error, nothing staged is left) or the display cannot be opened
// (what was opened is closed again and the staged files are gone).
bool startProgram();

// Queues fade frame k (0..FAREWELL_FRAMES-1): the cow over the whole width
// at opacity 1 - k/300.
void farewellFrame(int k);
// Plays the whole fade; returns the number of frames shown (fewer only when
// the program is asked to end meanwhile).
int runFarewell();
// Waits the pause between the phases; returns early when the program is
// asked to end.
void phasePause();
