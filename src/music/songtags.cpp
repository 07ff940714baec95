// A song's title and artist from its own tags (ID3 for MP3, the title a
// module carries, Vorbis comments...), read with SDL2_mixer in the musicdisk
// itself rather than by asking the player: a load that only parses a file
// takes a millisecond or two, where a player process per file would take a
// hundred. SDL2_mixer parses a file only with an audio device open, so the
// first read opens one on SDL's dummy driver (silent; the musicdisk never
// sounds itself) and keeps it until the program ends. Tags are read when a
// song is first shown, never all at start.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdio>

#include "display/display.h"
#include "music/owndisk.h"

namespace {

enum class Reader { Closed, Open, Failed };
Reader reader = Reader::Closed;

void closeTagReader() {
  if (reader != Reader::Open) return;
  Mix_CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  reader = Reader::Closed;
}

bool openTagReader() {
  if (reader == Reader::Closed) {
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(MIX_DEFAULT_FREQUENCY, MIX_DEFAULT_FORMAT, 2, 4096) != 0) {
      fprintf(stderr, "Cannot read the songs' tags: %s\n", SDL_GetError());
      reader = Reader::Failed;
    } else {
      reader = Reader::Open;
      W3DAtCleanup(closeTagReader);
    }
  }
  return reader == Reader::Open;
}

}  // namespace

void readSongTags(OwnSong *song) {
  if (song->tagsRead) return;
  song->tagsRead = true;
  Mix_Music *music = openTagReader() ? Mix_LoadMUS(song->path.c_str()) : nullptr;
  if (music) {
    if (song->title.empty()) song->title = Mix_GetMusicTitleTag(music);
    if (song->artist.empty()) song->artist = Mix_GetMusicArtistTag(music);
    Mix_FreeMusic(music);
  }
  if (song->title.empty()) song->title = titleFromName(song->name);
}
