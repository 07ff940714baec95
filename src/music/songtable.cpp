// The fifteen competition entries: the file given to the player, the title
// shown in the song list, the jury's placing and the entrant's handle.
#include "music/music.h"

const char introtheme[] = "music/Zeb-The_Creator.mp3";

const char *const songnames[numberOfSongs] = {
    "music/01-entry.mp3", "music/02-entry.MP3", "music/03-entry.mp3", "music/04-entry.mp3",
    "music/05-entry.mp3", "music/06-entry.mp3", "music/07-entry.mod", "music/08-entry.mod",
    "music/09-entry.mp3", "music/10-entry.mp3", "music/11-entry.mp3", "music/12-entry.mp3",
    "music/13-entry.mp3", "music/14-entry.mp3", "music/15-entry.mp3",
};

const char *const songnames2[numberOfSongs] = {
    "1. Entrant1 - Entry",   "2. Entrant2 - Entry",   "3. Entrant3 - Entry",   "4. Entrant4 - Entry",
    "5. Entrant5 - Entry",   "6. Entrant6 - Entry",   "7. Entrant7 - Entry",   "8. Entrant8 - Entry",
    "9. Entrant9 - Entry",   "10. Entrant10 - Entry", "11. Entrant11 - Entry", "12. Entrant12 - Entry",
    "13. Entrant13 - Entry", "14. Entrant14 - Entry", "15. Entrant15 - Entry",
};

const char *const songartists[numberOfSongs] = {
    "Entrant1", "Entrant2",  "Entrant3",  "Entrant4",  "Entrant5",  "Entrant6",  "Entrant7",  "Entrant8",
    "Entrant9", "Entrant10", "Entrant11", "Entrant12", "Entrant13", "Entrant14", "Entrant15",
};

const char *const songposition[numberOfSongs] = {
    " 2nd (7)", " 3rd (5)", " 12th (0)", " 12th (0)", " 1st (7)", " 4th (4)", " 8th (1)", " 8th (1)",
    " 8th (1)", " 12th (0)", " 5th (3)", " 5th (3)", " 8th (1)", " 7th (2)", " 8th (1)",
};
