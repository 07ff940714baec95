// The real player program, its real audio output captured by SDL's disk
// driver, steered over real ports: songs play to their end, the commands do
// what the musicdisk relies on, and bad input and bad ends are survived.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <sstream>

#include "../music/scratch.h"
#include "audio_fixtures.h"
#include "music/music.h"

namespace {

const std::string PLAYER = MUSICDISK_BINARY_DIR "/musicplayer/sdlmusicplayer";
constexpr double MP3_SECONDS = 2.4;  // two tones of 1.2 s
const std::vector<int32_t> PLAYED = {EVENT_LOADING, EVENT_PLAYING, EVENT_SONG_ENDED};
const std::vector<int32_t> LEFT = {EVENT_LOADING, EVENT_PLAYING};

class Player : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  std::string mp3, capturePath;
  ChildProcess player;

  void SetUp() override {
    mp3 = scratch / "tone.mp3";
    capturePath = scratch / "out.raw";
    ASSERT_TRUE(makeTwoToneMp3(mp3)) << "sox with MP3 support is needed";
  }
  std::string file(const std::string &name, const std::string &bytes) {
    std::string path = scratch / name;
    EXPECT_TRUE(writeFile(path, bytes));
    return path;
  }
  // Starts the player with these arguments, its audio captured unless
  // audioDriver names another driver than SDL's disk driver.
  bool start(std::vector<std::string> args, const std::string &audioDriver = "disk", const std::string &volume = "") {
    args.insert(args.begin(), PLAYER);
    std::vector<std::string> env = {"SDL_AUDIODRIVER=" + audioDriver, "SDL_DISKAUDIOFILE=" + capturePath};
    if (!volume.empty()) env.push_back(std::string(MUSICDISK_VOLUME_VARIABLE) + "=" + volume);
    return player.start(args, env, "", scratch / "stderr");
  }
  // Starts the MP3 and waits until it plays.
  void startPlaying(EventRecorder &events) {
    ASSERT_NE(events.port, nullptr);
    ASSERT_TRUE(start({mp3}));
    ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  }
  bool playerPortExists() const { return scratch.hasPortFile(PLAYER_PORT); }
  std::string errorText() const {
    std::ifstream in(scratch / "stderr");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The player's own lines on standard error (SDL's disk driver adds its own).
  std::vector<std::string> playerLines() const {
    std::vector<std::string> lines;
    std::stringstream text(errorText());
    for (std::string line; std::getline(text, line);)
      if (line.rfind("sdlmusicplayer:", 0) == 0) lines.push_back(line);
    return lines;
  }
};

// Each plays once to its end; only the last song of the disk fades out.
TEST_F(Player, SongsPlayToTheirEndOnceAndReportAndTheLastSongOfTheDiskFadesOut) {
  std::string longer = scratch / "long.mp3";
  ASSERT_TRUE(makeTwoToneMp3(longer, 3.2));  // 6.4 s: room for the fade
  const struct {
    std::vector<std::string> args;  // the song, and "1" for the disk's last
    double seconds, tolerance;
    double at, hz;  // the tone at this time into the song
  } songs[] = {
      {{mp3}, MP3_SECONDS, 0.2, 1.8, 880},
      {{file("tone.mod", makeModule(false))}, 1.92, 0.25, 0.5, 7093789.2 / 2 / 428 / 32},  // 32 rows of 60 ms
      // 40 rows: 2.4 s, which SDL2_mixer rounds to a length of 2 s: not cut.
      {{file("longer.mod", makeModule(false, 40))}, 2.4, 0.25, 2.2, 7093789.2 / 2 / 428 / 32},
      // Jumps back to its start for ever: its length (2 s), half a second of
      // slack and half a second of fade.
      {{file("loop.mod", makeModule(true))}, 2.75, 0.5, 0.5, 7093789.2 / 2 / 428 / 32},
      {{longer, "1"}, 6.4, 0.3, 5.4, 880},  // a second before its end
  };
  for (const auto &song : songs) {
    SCOPED_TRACE(song.args[0]);
    EventRecorder events;
    ASSERT_TRUE(start(song.args));
    ASSERT_TRUE(player.waitForExit(15000)) << "the song must end by itself";
    EXPECT_TRUE(player.exitedWith(0));
    EXPECT_EQ(events.values(), PLAYED);
    EXPECT_FALSE(playerPortExists());
    EXPECT_TRUE(playerLines().empty()) << errorText();
    Capture capture(capturePath);
    auto sounding = capture.sounding();
    ASSERT_EQ(sounding.size(), 1u);
    EXPECT_NEAR(sounding[0].second - sounding[0].first, song.seconds, song.tolerance);
    EXPECT_NEAR(capture.frequencyAt(sounding[0].first + song.at), song.hz, 30);
    int early = capture.peak(size_t((sounding[0].first + 0.3) * Capture::RATE), Capture::RATE / 10);
    int late = capture.peak(size_t((sounding[0].first + song.at) * Capture::RATE), Capture::RATE / 10);
    if (song.args.size() > 1) {
      EXPECT_LT(late, early * 0.6) << "the last song is fading";
      EXPECT_GT(late, Capture::LOUD);
    } else {
      EXPECT_GT(late, early * 0.9) << "no fade before its own end";
    }
  }
}

// Paused at 0.6 s and resumed by a second pause or by play: the rest of the
// song after the gap. Stopped at 1.7 s (where pause does nothing): all of it again.
TEST_F(Player, PauseContinuesWhereItStoppedAndStopThenPlayRestarts) {
  const struct {
    int atMs;
    int32_t halt;
    std::vector<int32_t> resume;
    double playedAgain;
  } cases[] = {{600, PLAYER_PAUSE, {PLAYER_PAUSE}, MP3_SECONDS - 0.6},
               {600, PLAYER_PAUSE, {PLAYER_PLAY}, MP3_SECONDS - 0.6},
               {1700, PLAYER_STOP, {PLAYER_PAUSE, PLAYER_PLAY}, MP3_SECONDS}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.halt);
    EventRecorder events;
    startPlaying(events);
    EXPECT_EQ(syncmusic(PLAYER_PORT, PLAYER_PLAY), PLAYER_PLAY) << "a playing song goes on";
    usleep(c.atMs * 1000);
    EXPECT_EQ(syncmusic(PLAYER_PORT, c.halt), c.halt);
    usleep(1000 * 1000);
    EXPECT_EQ(events.values().size(), 2u) << "no end while halted";
    for (int32_t other : {1, 16, -1, 1000}) EXPECT_EQ(syncmusic(PLAYER_PORT, other), other) << "echoed, nothing done";
    // Nothing after the resume: a play would resume a song the pause left paused.
    for (int32_t command : c.resume) EXPECT_EQ(syncmusic(PLAYER_PORT, command), command);
    ASSERT_TRUE(player.waitForExit(10000));
    EXPECT_TRUE(player.exitedWith(0));
    EXPECT_EQ(events.values(), PLAYED);
    auto sounding = Capture(capturePath).sounding();
    ASSERT_EQ(sounding.size(), 2u) << "one silence in the middle";
    EXPECT_NEAR(sounding[0].second - sounding[0].first, c.atMs / 1000.0, 0.3);
    EXPECT_NEAR(sounding[1].first - sounding[0].second, 1.0, 0.3);
    EXPECT_NEAR(sounding[1].second - sounding[1].first, c.playedAgain, 0.3);
  }
}

// Started at half volume, then full: 6 dB apart. A move back before the
// start plays the opening tone again; a move of 5 s brings the closing tone
// 5 s early, and the position answered moves with it; a move past the end
// ends the song.
TEST_F(Player, VolumeAndMovesWithinTheSongAreHeard) {
  std::string gap = scratch / "gap.mp3";
  ASSERT_EQ(system(("sox -q -n -r 44100 -c 2 '" + gap + "' synth 1 sine 440 gain -6 : synth 9 sine 440 vol 0 : " +
                    "synth 3 sine 440 gain -6").c_str()), 0);
  auto moveBy = [](int32_t ms) { return syncmusic(PLAYER_PORT, PLAYER_SEEK_BY + PLAYER_SEEK_BIAS + ms); };
  auto position = [] { return syncmusic(PLAYER_PORT, PLAYER_POSITION); };
  EventRecorder events;
  ASSERT_TRUE(start({gap}, "disk", "500"));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  EXPECT_EQ(syncmusic(PLAYER_PORT, PLAYER_CAN_SEEK), 1);
  usleep(1500 * 1000);
  EXPECT_EQ(syncmusic(PLAYER_PORT, PLAYER_VOLUME + 1000), 1000);
  EXPECT_LT(moveBy(-20000), 50) << "before the start: the start";
  usleep(1500 * 1000);
  int32_t before = position(), moved = moveBy(5000), after = position();
  EXPECT_NEAR(moved - before, 5000, 100);
  EXPECT_NEAR(after, moved, 50);
  usleep(5000 * 1000);  // into the closing tone
  EXPECT_NEAR(moveBy(20000), 13000, 100) << "past the end: the song's length";
  ASSERT_TRUE(player.waitForExit(2000));
  EXPECT_EQ(events.values(), PLAYED);
  Capture capture(capturePath);
  auto sounding = capture.sounding();
  ASSERT_EQ(sounding.size(), 3u);
  EXPECT_NEAR(sounding[1].second - sounding[1].first, 1.0, 0.1) << "the opening tone again";
  EXPECT_NEAR(sounding[2].first - sounding[1].second, 4.0, 0.1) << "9 s of silence, 5 s of it skipped";
  auto level = [&](int i) { return capture.rms(size_t((sounding[i].first + 0.2) * Capture::RATE), Capture::RATE / 2); };
  EXPECT_NEAR(20 * std::log10(level(1) / level(0)), 6.0, 1.0);
}

// Commands and termination signals end it at once; a command's answer
// comes after its port has gone.
TEST_F(Player, NextPreviousQuitAndTerminationSignalsEndItAtOnce) {
  const struct {
    int32_t command;
    int signal;
    std::vector<int32_t> events;
  } ends[] = {{PLAYER_NEXT, 0, PLAYED}, {PLAYER_PREVIOUS, 0, PLAYED},
              {PLAYER_QUIT, 0, LEFT},   {0, SIGTERM, LEFT},
              {0, SIGINT, LEFT},        {0, SIGHUP, LEFT}};
  for (const auto &c : ends) {
    SCOPED_TRACE(c.signal ? c.signal : c.command);
    EventRecorder events;
    startPlaying(events);
    usleep(300 * 1000);
    if (c.signal) {
      kill(player.pid, c.signal);
    } else {
      EXPECT_EQ(syncmusic(PLAYER_PORT, c.command), c.command);
      EXPECT_FALSE(playerPortExists()) << "the port is gone once the command is answered";
    }
    ASSERT_TRUE(player.waitForExit(5000));
    EXPECT_TRUE(player.exitedWith(0));
    usleep(200 * 1000);
    EXPECT_EQ(events.values(), c.events);
    EXPECT_EQ(syncmusic(PLAYER_PORT, PLAYER_PLAY), -1);
    auto sounding = Capture(capturePath).sounding();
    EXPECT_TRUE(sounding.empty() || sounding.back().second - sounding.front().first < 0.6) << "it ended at once";
  }
}

TEST_F(Player, AFileThatCannotBePlayedIsReportedAndTheDiskMovesOn) {
  const struct {
    std::string path, reason;
  } bad[] = {{scratch / "no-such-song.mp3", "No such file"}, {file("junk.mp3", "no song at all\n"), ""}};
  for (const auto &b : bad) {
    EventRecorder events;
    ASSERT_TRUE(start({b.path}));
    ASSERT_TRUE(player.waitForExit(5000));
    EXPECT_FALSE(player.exitedWith(0));
    EXPECT_GE(events.waitFor(EVENT_SONG_ENDED, 0), 0);
    auto lines = playerLines();
    ASSERT_EQ(lines.size(), 1u) << errorText();
    EXPECT_NE(lines[0].find(b.path), std::string::npos);
    EXPECT_NE(lines[0].find(b.reason), std::string::npos);
    EXPECT_FALSE(playerPortExists());
  }
}

// The next player takes over the port a killed one left. Here it has no
// audio device: it says so, once for all players of one musicdisk, and its
// song still takes its real time.
TEST_F(Player, AKilledPlayersPortIsTakenOverAndWithoutAnAudioDeviceTheSongKeepsRealTimeAndItIsSaidOnce) {
  {
    EventRecorder events;
    startPlaying(events);
    kill(player.pid, SIGKILL);
    player.waitForExit(5000);
  }
  ASSERT_TRUE(playerPortExists()) << "a killed player cannot clean up";
  EventRecorder events;
  ASSERT_TRUE(start({mp3}, "no-such-driver"));
  int64_t playing = events.waitFor(EVENT_PLAYING, 5000);
  ASSERT_GE(playing, 0);
  EXPECT_EQ(syncmusic(PLAYER_PORT, 1000), 1000) << "the port is the new player's";
  ASSERT_TRUE(player.waitForExit(10000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_EQ(events.values(), PLAYED);
  EXPECT_NEAR((events.waitFor(EVENT_SONG_ENDED, 0) - playing) / 1000.0, MP3_SECONDS, 0.3);
  auto lines = playerLines();
  ASSERT_EQ(lines.size(), 1u) << errorText();
  EXPECT_NE(lines[0].find("no audio device"), std::string::npos);
  // The players of one musicdisk share its standard error: said once a run.
  setenv(MUSICDISK_PID_VARIABLE, std::to_string(getpid()).c_str(), 1);
  for (size_t said : {1u, 0u}) {
    EventRecorder again;
    ASSERT_TRUE(start({mp3}, "no-such-driver"));
    ASSERT_TRUE(player.waitForExit(10000));
    EXPECT_EQ(playerLines().size(), said) << errorText();
  }
  unsetenv(MUSICDISK_PID_VARIABLE);
}

// Its parent (standing in for the musicdisk, whose process id it is given)
// ends while the song plays, or before the player's main even runs.
TEST_F(Player, ItEndsWhenItsParentEndsEvenBeforeItStarts) {
  // Orphans come to this process, so the player can be waited for here.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const struct {
    const char *script;
    std::vector<int32_t> events;
    int status;
  } cases[] = {
      {"export MUSICDISK_PID=$$; \"$0\" \"$1\" & echo $! > \"$2\"; exec sleep 60", LEFT, 0},
      {"export MUSICDISK_PID=$$; (sleep 0.3; exec \"$0\" \"$1\") & echo $! > \"$2\"", {}, 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.script);
    EventRecorder events;
    ChildProcess parent, orphan;
    ASSERT_TRUE(parent.start({"sh", "-c", c.script, PLAYER, mp3, scratch / "pid"}, {"SDL_AUDIODRIVER=dummy"}));
    if (!c.events.empty()) {
      EXPECT_GE(events.waitFor(EVENT_PLAYING, 10000), 0);
      kill(parent.pid, SIGKILL);  // while the song plays
    }
    ASSERT_TRUE(parent.waitForExit(1000));
    std::ifstream(scratch / "pid") >> orphan.pid;
    unlink((scratch / "pid").c_str());
    bool ended = orphan.waitForExit(5000);
    ASSERT_TRUE(ended) << "the player outlived its parent";
    EXPECT_TRUE(orphan.exitedWith(c.status));
    EXPECT_FALSE(playerPortExists());
    EXPECT_EQ(events.values(), c.events);
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// The player waits for the answer to its "loading": a termination signal
// then ends it before it plays, and no "playing" gets out.
TEST_F(Player, ATerminationSignalDuringStartUpLetsNoEventPlayingOut) {
  PublicPort *events = createPublicPort(HANDLER_PORT);
  ASSERT_NE(events, nullptr);
  ASSERT_TRUE(start({mp3}, "dummy"));
  std::vector<int32_t> values;
  for (int64_t giveUp = nowMs() + 3000; nowMs() < giveUp;) {
    MusicMessage message;
    if (waitPublicPort(events, 50, -1) != PORT_READY || !getPortMessage(events, &message)) continue;
    if (message.value == EVENT_LOADING) kill(player.pid, SIGTERM);
    values.push_back(message.value);
    replyPortMessage(events, &message);
  }
  EXPECT_EQ(values, std::vector<int32_t>{EVENT_LOADING});
  EXPECT_TRUE(player.waitForExit(5000) && player.exitedWith(0));
  deletePublicPort(events);
}

}  // namespace
