// The songs and the intro theme as the player sees them: SDL2_mixer (the
// library behind musicplayer/sdlmusicplayer) must open every file of the
// song table and report a length of one to two minutes.
#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <string>

#include "music/music.h"

TEST(MusicMixer, EveryFileOfTheSongTableAndTheThemeOpensWithItsLength) {
  SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
  Mix_Init(MIX_INIT_MP3 | MIX_INIT_MOD);
  ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096), 0) << Mix_GetError();
  for (int row = -1; row < numberOfSongs; row++) {
    std::string name = row < 0 ? introtheme : songnames[row];
    bool module = name.size() > 4 && name.compare(name.size() - 4, 4, ".mod") == 0;
    Mix_Music *music = Mix_LoadMUS((std::string(MUSICDISK_SOURCE_DIR) + "/" + name).c_str());
    ASSERT_NE(music, nullptr) << name << ": " << Mix_GetError();
    EXPECT_EQ(Mix_GetMusicType(music), module ? MUS_MOD : MUS_MP3) << name;
    double seconds = Mix_MusicDuration(music);
    EXPECT_GE(seconds, 60.0) << name;
    EXPECT_LE(seconds, 120.0) << name;
    Mix_FreeMusic(music);
  }
  Mix_CloseAudio();
  Mix_Quit();
  SDL_Quit();
}
