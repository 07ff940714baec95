// The fifteen competition entries: the file given to the player, the title
// shown in the song list, the jury's placing and the entrant's handle.
// The files, titles and handles come from the music generator's song list
// (tools/music/songs.json); tests/music-files checks that both agree.
#include "music/music.h"

const char introtheme[] = "music/Zeb-The_Creator.mp3";

const char *const songnames[BUILTIN_SONGS] = {
    "music/aurora-skyward.mp3",
    "music/mr_velvet-late_night_call.MP3",
    "music/driftwood-tide_pools.mp3",
    "music/loudmouth-garage_days.mp3",
    "music/kalm-neon_horizon.mp3",
    "music/sublevel-undertow.mp3",
    "music/pixel-bitcrush.mod",
    "music/paula-four_channels.mod",
    "music/groove_unit-strut.mp3",
    "music/ivory-little_waltz.mp3",
    "music/kinetic-warehouse_303.mp3",
    "music/fiddler-harbour_reel.mp3",
    "music/delta_dan-crossroad_shuffle.mp3",
    "music/marisol-praia_azul.mp3",
    "music/quiet_storm-goodnight.mp3",
};

const char *const songnames2[BUILTIN_SONGS] = {
    "1. Aurora - Skyward",
    "2. Mr. Velvet - Late Night Call",
    "3. Driftwood - Tide Pools",
    "4. Loudmouth - Garage Days",
    "5. Kalm - Neon Horizon",
    "6. Sublevel - Undertow",
    "7. Pixel - Bitcrush",
    "8. Paula - Four Channels",
    "9. Groove Unit - Strut",
    "10. Ivory - Little Waltz",
    "11. Kinetic - Warehouse 303",
    "12. Fiddler - Harbour Reel",
    "13. Delta Dan - Crossroad Shuffle",
    "14. Marisol - Praia Azul",
    "15. Quiet Storm - Goodnight",
};

const char *const songartists[BUILTIN_SONGS] = {
    "Aurora",
    "Mr. Velvet",
    "Driftwood",
    "Loudmouth",
    "Kalm",
    "Sublevel",
    "Pixel",
    "Paula",
    "Groove Unit",
    "Ivory",
    "Kinetic",
    "Fiddler",
    "Delta Dan",
    "Marisol",
    "Quiet Storm",
};

const char *const songposition[BUILTIN_SONGS] = {
    " 2nd (7)", " 3rd (5)", " 12th (0)", " 12th (0)", " 1st (7)", " 4th (4)", " 8th (1)", " 8th (1)",
    " 8th (1)", " 12th (0)", " 5th (3)", " 5th (3)", " 8th (1)", " 7th (2)", " 8th (1)",
};
