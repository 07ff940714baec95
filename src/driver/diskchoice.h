// Which disk plays: the built-in one, or the folder or files the command
// line names.
#pragma once

// Reads the disk the command line names, if any, and puts it to use: its
// songs in the song table, its scroller message (none when it gives none).
// Returns -1 when the program is to run, otherwise the exit value 2 after
// one line on standard error: nothing has been started then.
int chooseDisk();
