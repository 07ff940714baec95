// A second task of the program: a thread with a way to be told to stop.
// Stands in for the Exec task of the music handler: created once, and
// deleted (stopped if still running, then joined) by the display teardown.
#pragma once

struct MusicTask;

// Starts entry(task) on a new thread; null (after one line of text) on failure.
MusicTask *createTask(const char *name, void (*entry)(MusicTask *task));
// Asks the task to stop, waits for it to end and frees it. Null is ignored.
void deleteTask(MusicTask *task);
// A descriptor that becomes readable once deleteTask asks the task to stop;
// the task waits on it beside its own descriptors.
int taskStopDescriptor(const MusicTask *task);
const char *taskName(const MusicTask *task);
