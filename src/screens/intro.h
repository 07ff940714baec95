// The intro: logos, credits and the entrants over a swirl, balls and star
// streaks, until a key, a button or the time-out ends it with a flash.
#pragma once

#include <cstdint>

struct IntuiMessage;

struct IntroState {
  bool introEnding;  // the end was asked for; never cleared
};

// What one pass leaves for the frame cycle.
struct IntroPass {
  int32_t fullClear;  // how to erase the next half: 1 whole, 0 bottom strip
  bool finished;      // this was the intro's last frame
};

// The credits and the competition's address shown by the intro.
extern const char introAddress[];
extern const char introCoder[];
extern const char introGraphics[];
extern const char introComposer[];

// One frame of the intro at intro time t with at most one input message
// (null: none): reacts to the message and queues the frame's quads. The
// caller replies to the message, submits the batch and switches.
IntroPass introPass(IntroState *state, int32_t t, const IntuiMessage *message);

// Runs the intro until it is over (or the program is asked to end).
void runIntro();
