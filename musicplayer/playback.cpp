// The player's audio side on SDL2_mixer. See playback.h.
//
// SDL2_mixer calls the music-finished hook from its audio thread at a
// natural end (and at the end of a fade-out), but also in the caller's own
// thread inside Mix_HaltMusic. The hook only raises a flag and pokes the
// wake descriptor; a halt of ours clears both again, so a stop is never
// taken for an end.
#include "playback.h"

#include <SDL.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "ports/protocol.h"

namespace {

std::atomic<bool> musicFinished{false};
int wakeDescriptor = -1;

void onMusicFinished() {
  musicFinished.store(true);
  if (wakeDescriptor >= 0) {
    uint64_t one = 1;
    ssize_t ignored = write(wakeDescriptor, &one, sizeof one);
    (void)ignored;
  }
}

void forgetFinish() {
  musicFinished.store(false);
  if (wakeDescriptor >= 0) {
    uint64_t count;
    ssize_t ignored = read(wakeDescriptor, &count, sizeof count);
    (void)ignored;
  }
}

bool openDevice() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  if (Mix_OpenAudio(AUDIO_RATE, AUDIO_S16SYS, AUDIO_CHANNELS, AUDIO_BUFFER_FRAMES) != 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

// The fade that ends the song before SDL2_mixer would: false when there is
// none. For a module it begins once its length and the rounding slack have
// been played, so that a module that ends by itself always does so first;
// for the last song it ends at the song's length.
bool endFade(const Playback *playback, int64_t *startMs, int *fadeMs) {
  int64_t length = playback->lengthMs;
  if (playback->isModule && length <= 0) length = UNKNOWN_MODULE_LENGTH_MS;
  if (length <= 0) return false;
  if (playback->lastSong && length >= 2 * LAST_SONG_FADE_MS) {
    *startMs = length - LAST_SONG_FADE_MS;
    *fadeMs = LAST_SONG_FADE_MS;
    return true;
  }
  if (!playback->isModule) return false;
  *startMs = length + MODULE_LENGTH_SLACK_MS;
  *fadeMs = MODULE_END_FADE_MS;
  return true;
}

int saysFd = STDERR_FILENO;  // where the player's own lines go

}  // namespace

void quietenDecoders() {
  int kept = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (kept < 0 || null < 0 || dup2(null, STDERR_FILENO) < 0) {
    if (kept >= 0) close(kept);
  } else {
    saysFd = kept;
  }
  if (null >= 0) close(null);
}

void playerSays(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vdprintf(saysFd, format, arguments);
  va_end(arguments);
}

bool openAudio(int wakeFd, bool (*mayTell)()) {
  wakeDescriptor = wakeFd;
  if (!openDevice()) {
    if (!mayTell || mayTell())
      playerSays("sdlmusicplayer: no audio device (%s), playing silently\n", SDL_GetError());
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (!openDevice()) {
      playerSays("sdlmusicplayer: cannot open even the silent output: %s\n", SDL_GetError());
      return false;
    }
  }
  Mix_HookMusicFinished(onMusicFinished);
  return true;
}

void closeAudio() {
  Mix_HookMusicFinished(nullptr);
  Mix_CloseAudio();
  Mix_Quit();
  SDL_Quit();
}

bool loadSong(Playback *playback, const char *path, bool lastSong, char *why, size_t whySize) {
  // The file itself first, for a plain reason when it is missing or unreadable.
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    snprintf(why, whySize, "%s", strerror(errno));
    return false;
  }
  close(fd);
  playback->music = Mix_LoadMUS(path);
  if (!playback->music) {
    snprintf(why, whySize, "%s", Mix_GetError());
    return false;
  }
  Mix_MusicType type = Mix_GetMusicType(playback->music);
  playback->isModule = type == MUS_MOD;
  // SDL2_mixer 2.6 moves within these by time; not within MIDI.
  playback->seekable = type == MUS_MP3 || type == MUS_OGG || type == MUS_FLAC || type == MUS_WAV ||
                       type == MUS_OPUS || type == MUS_MOD;
  playback->lastSong = lastSong;
  double seconds = Mix_MusicDuration(playback->music);
  playback->lengthMs = seconds > 0 ? static_cast<int64_t>(seconds * 1000.0 + 0.5) : -1;
  playback->state = PLAYBACK_STOPPED;
  return true;
}

void freeSong(Playback *playback) {
  if (!playback->music) return;
  Mix_HaltMusic();
  forgetFinish();
  Mix_FreeMusic(playback->music);
  playback->music = nullptr;
}

bool playFromStart(Playback *playback) {
  // Rewinding fails once the song has ended: halt and play again instead.
  Mix_HaltMusic();
  forgetFinish();
  playback->playedMs = 0;
  playback->fading = false;
  if (Mix_PlayMusic(playback->music, 0) != 0) {
    playback->state = PLAYBACK_ENDED;
    return false;
  }
  playback->stretchStartMs = monotonicMs();
  playback->state = PLAYBACK_PLAYING;
  return true;
}

void pauseOrResume(Playback *playback) {
  if (playback->state == PLAYBACK_PLAYING) {
    Mix_PauseMusic();
    playback->playedMs += monotonicMs() - playback->stretchStartMs;
    playback->state = PLAYBACK_PAUSED;
  } else if (playback->state == PLAYBACK_PAUSED) {
    Mix_ResumeMusic();
    playback->stretchStartMs = monotonicMs();
    playback->state = PLAYBACK_PLAYING;
  }
}

void stopSong(Playback *playback) {
  if (playback->state != PLAYBACK_PLAYING && playback->state != PLAYBACK_PAUSED) return;
  Mix_HaltMusic();
  forgetFinish();
  playback->playedMs = 0;
  playback->fading = false;
  playback->state = PLAYBACK_STOPPED;
}

int64_t playedTimeMs(const Playback *playback) {
  if (playback->state != PLAYBACK_PLAYING) return playback->playedMs;
  return playback->playedMs + monotonicMs() - playback->stretchStartMs;
}

bool songHasEnded(Playback *playback) {
  if (playback->state == PLAYBACK_ENDED) return true;
  // A song can reach its end in the same wake as a pause: it has ended all
  // the same, and the wake descriptor is drained, or the paused player's
  // wait would return at once for ever.
  if (musicFinished.load() && (playback->state == PLAYBACK_PLAYING || playback->state == PLAYBACK_PAUSED)) {
    forgetFinish();
    playback->state = PLAYBACK_ENDED;
    return true;
  }
  if (playback->state != PLAYBACK_PLAYING) return false;
  int64_t fadeAt;
  int fadeMs;
  if (!endFade(playback, &fadeAt, &fadeMs)) return false;
  int64_t played = playedTimeMs(playback);
  if (!playback->fading && played >= fadeAt) {
    // The end of the fade is reported by the finished hook like any end.
    playback->fading = Mix_FadeOutMusic(fadeMs) == 1;
    if (!playback->fading) {
      playback->state = PLAYBACK_ENDED;
      return true;
    }
  }
  // Should the fade's end never be reported, the song still ends.
  if (playback->fading && played >= fadeAt + fadeMs + 1000) {
    Mix_HaltMusic();
    forgetFinish();
    playback->state = PLAYBACK_ENDED;
    return true;
  }
  return false;
}

int msUntilNextCheck(const Playback *playback, int limitMs) {
  int64_t fadeAt;
  int fadeMs;
  if (playback->state != PLAYBACK_PLAYING || !endFade(playback, &fadeAt, &fadeMs)) return limitMs;
  int64_t next = playback->fading ? limitMs : fadeAt - playedTimeMs(playback);
  if (next < 0) next = 0;
  return next < limitMs ? static_cast<int>(next) : limitMs;
}

int64_t songPositionMs(const Playback *playback) {
  if (playback->state != PLAYBACK_PLAYING && playback->state != PLAYBACK_PAUSED) return 0;
  double seconds = Mix_GetMusicPosition(playback->music);
  return seconds >= 0 ? static_cast<int64_t>(seconds * 1000.0 + 0.5) : playedTimeMs(playback);
}

bool songCanSeek(const Playback *playback) {
  return playback->seekable && !playback->fading &&
         (playback->state == PLAYBACK_PLAYING || playback->state == PLAYBACK_PAUSED);
}

SeekResult seekSong(Playback *playback, int64_t toMs) {
  if (!songCanSeek(playback)) return SEEK_REFUSED;
  if (toMs < 0) toMs = 0;
  if (playback->lengthMs > 0 && toMs >= playback->lengthMs) return SEEK_PAST_END;
  if (Mix_SetMusicPosition(static_cast<double>(toMs) / 1000.0) != 0) return SEEK_REFUSED;
  // The played time is the clock of the end fades: it jumps with the song.
  playback->playedMs = toMs;
  playback->stretchStartMs = monotonicMs();
  return SEEK_MOVED;
}

int setSongVolume(int thousandths) {
  if (thousandths < 0) thousandths = 0;
  if (thousandths > VOLUME_FULL) thousandths = VOLUME_FULL;
  Mix_VolumeMusic((thousandths * MIX_MAX_VOLUME + VOLUME_FULL / 2) / VOLUME_FULL);
  return thousandths;
}
