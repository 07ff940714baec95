// The songs and the intro theme as the player sees them: SDL2_mixer (the
// library behind musicplayer/sdlmusicplayer) must open every file of the
// song table and report a length of one to two minutes.
#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <string>

#include "music/music.h"

namespace {

class MusicMixer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
    Mix_Init(MIX_INIT_MP3 | MIX_INIT_MOD);
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096), 0) << Mix_GetError();
  }
  static void TearDownTestSuite() {
    Mix_CloseAudio();
    Mix_Quit();
    SDL_Quit();
  }

  // Loads music/... from the source tree and checks type and length.
  static void expectPlayable(const char *path, Mix_MusicType type) {
    std::string full = std::string(MUSICDISK_SOURCE_DIR) + "/" + path;
    Mix_Music *music = Mix_LoadMUS(full.c_str());
    ASSERT_NE(music, nullptr) << path << ": " << Mix_GetError();
    EXPECT_EQ(Mix_GetMusicType(music), type) << path;
    double seconds = Mix_MusicDuration(music);
    EXPECT_GE(seconds, 60.0) << path;
    EXPECT_LE(seconds, 120.0) << path;
    Mix_FreeMusic(music);
  }
};

TEST_F(MusicMixer, EverySongOfTheTableOpensWithItsLength) {
  for (int row = 0; row < numberOfSongs; row++) {
    std::string name = songnames[row];
    bool module = name.size() > 4 && name.compare(name.size() - 4, 4, ".mod") == 0;
    expectPlayable(songnames[row], module ? MUS_MOD : MUS_MP3);
  }
}

TEST_F(MusicMixer, TheIntroThemeOpensWithItsLength) { expectPlayable(introtheme, MUS_MP3); }

}  // namespace
