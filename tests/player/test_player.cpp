// The real player program, its real audio output captured by SDL's disk
// driver, steered over real ports: songs play to their end, the commands do
// what the musicdisk relies on, and bad input and bad ends are survived.
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "player_harness.h"

namespace {

constexpr double MP3_SECONDS = 2.4;     // two tones of 1.2 s
constexpr double MODULE_SECONDS = 1.92;  // 32 rows of 60 ms

class Player : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  std::string mp3, module, loopingModule, capturePath;
  PlayerProcess player;

  void SetUp() override {
    mp3 = scratch.path + "/tone.mp3";
    module = scratch.path + "/tone.mod";
    loopingModule = scratch.path + "/loop.mod";
    capturePath = scratch.path + "/out.raw";
    ASSERT_TRUE(makeTwoToneMp3(mp3)) << "sox with MP3 support is needed";
    ASSERT_TRUE(writeFile(module, makeModule(false)));
    ASSERT_TRUE(writeFile(loopingModule, makeModule(true)));
  }
  std::vector<std::string> diskAudio() const {
    return {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + capturePath};
  }
  bool start(const std::string &path, bool lastSong = false) {
    return player.start(scratch.path, path, lastSong, diskAudio());
  }
  bool playerPortExists() const {
    struct stat st;
    return lstat(scratch.portFile("musicplayerport").c_str(), &st) == 0;
  }
  // The player's own lines on standard error (SDL's disk driver adds its own).
  std::vector<std::string> playerLines() const {
    std::vector<std::string> lines;
    std::stringstream text(player.errorText());
    for (std::string line; std::getline(text, line);)
      if (line.rfind("sdlmusicplayer:", 0) == 0) lines.push_back(line);
    return lines;
  }
};

TEST_F(Player, Mp3PlaysToItsEndAndReports) {
  EventRecorder events;
  ASSERT_NE(events.port, nullptr);
  ASSERT_TRUE(start(mp3));
  ASSERT_TRUE(player.waitForExit(10000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING, EVENT_SONG_ENDED}));
  EXPECT_FALSE(playerPortExists());

  Capture capture(capturePath);
  auto sounding = capture.sounding();
  ASSERT_EQ(sounding.size(), 1u);
  EXPECT_NEAR(capture.soundingSeconds(), MP3_SECONDS, 0.2);
  EXPECT_NEAR(capture.frequencyAt(sounding[0].first + 0.3), 440, 30);
  EXPECT_NEAR(capture.frequencyAt(sounding[0].first + 1.8), 880, 30);
  EXPECT_TRUE(playerLines().empty());
}

TEST_F(Player, ModulePlaysToItsEndAndReports) {
  EventRecorder events;
  ASSERT_NE(events.port, nullptr);
  ASSERT_TRUE(start(module));
  ASSERT_TRUE(player.waitForExit(10000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING, EVENT_SONG_ENDED}));
  Capture capture(capturePath);
  auto sounding = capture.sounding();
  ASSERT_EQ(sounding.size(), 1u);
  EXPECT_NEAR(capture.soundingSeconds(), MODULE_SECONDS, 0.25);
  EXPECT_NEAR(capture.frequencyAt(sounding[0].first + 0.5), 7093789.2 / 2 / 428 / 32, 20);
}

TEST_F(Player, ModuleLongerThanItsRoundedLengthIsNotCut) {
  // 40 rows: 2.4 s, which SDL2_mixer rounds to a length of 2 s.
  std::string longer = scratch.path + "/longer.mod";
  ASSERT_TRUE(writeFile(longer, makeModule(false, 40)));
  EventRecorder events;
  ASSERT_TRUE(start(longer));
  ASSERT_TRUE(player.waitForExit(10000));
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING, EVENT_SONG_ENDED}));
  Capture capture(capturePath);
  auto sounding = capture.sounding();
  ASSERT_EQ(sounding.size(), 1u);
  EXPECT_NEAR(capture.soundingSeconds(), 2.4, 0.25);
  double start = sounding[0].first;
  int early = capture.peak(static_cast<size_t>((start + 1.0) * Capture::RATE), Capture::RATE / 10);
  int late = capture.peak(static_cast<size_t>((start + 2.2) * Capture::RATE), Capture::RATE / 10);
  EXPECT_GT(late, early * 0.9) << "no fade before its own end";
}

TEST_F(Player, ModuleThatJumpsBackStillEndsAfterOnePass) {
  EventRecorder events;
  ASSERT_NE(events.port, nullptr);
  ASSERT_TRUE(start(loopingModule));
  ASSERT_TRUE(player.waitForExit(10000)) << "a looping module must end by itself";
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING, EVENT_SONG_ENDED}));
  // SDL2_mixer knows its length in whole seconds (2); half a second of
  // slack and half a second of fade follow.
  Capture capture(capturePath);
  EXPECT_GT(capture.soundingSeconds(), MODULE_SECONDS + 0.3);
  EXPECT_LT(capture.soundingSeconds(), 2.0 + 1.0 + 0.3);
}

TEST_F(Player, PauseGivesSilenceAndASecondPauseContinues) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  usleep(600 * 1000);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PAUSE), PLAYER_PAUSE);
  usleep(1000 * 1000);
  EXPECT_EQ(events.values().size(), 2u) << "no end while paused";
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PAUSE), PLAYER_PAUSE);
  ASSERT_TRUE(player.waitForExit(10000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_GE(events.waitFor(EVENT_SONG_ENDED, 0), 0);

  Capture capture(capturePath);
  auto sounding = capture.sounding();
  ASSERT_EQ(sounding.size(), 2u) << "one silence in the middle";
  EXPECT_NEAR(sounding[1].first - sounding[0].second, 1.0, 0.3);
  // It went on where it stopped: the whole song once, not again from the start.
  EXPECT_NEAR(capture.soundingSeconds(), MP3_SECONDS, 0.25);
  EXPECT_NEAR(capture.frequencyAt(sounding[1].first + 0.1), 440, 30);
}

TEST_F(Player, PlayResumesAPausedSong) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  usleep(1500 * 1000);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PAUSE), PLAYER_PAUSE);
  usleep(500 * 1000);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PLAY), PLAYER_PLAY);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PLAY), PLAYER_PLAY) << "play while playing changes nothing";
  ASSERT_TRUE(player.waitForExit(10000));
  Capture capture(capturePath);
  auto sounding = capture.sounding();
  ASSERT_EQ(sounding.size(), 2u);
  EXPECT_NEAR(capture.soundingSeconds(), MP3_SECONDS, 0.25);
  EXPECT_NEAR(capture.frequencyAt(sounding[1].first + 0.1), 880, 30);
}

TEST_F(Player, StopThenPlayRestartsFromTheBeginning) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  usleep(1700 * 1000);  // into the second tone
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_STOP), PLAYER_STOP);
  usleep(800 * 1000);
  EXPECT_EQ(events.values().size(), 2u) << "a stop is not an end";
  EXPECT_TRUE(playerPortExists());
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PAUSE), PLAYER_PAUSE) << "pause while stopped does nothing";
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PLAY), PLAYER_PLAY);
  ASSERT_TRUE(player.waitForExit(10000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING, EVENT_SONG_ENDED}));

  Capture capture(capturePath);
  auto sounding = capture.sounding();
  ASSERT_EQ(sounding.size(), 2u);
  EXPECT_NEAR(sounding[0].second - sounding[0].first, 1.7, 0.35);
  EXPECT_NEAR(capture.frequencyAt(sounding[0].second - 0.2), 880, 30);
  EXPECT_NEAR(sounding[1].second - sounding[1].first, MP3_SECONDS, 0.2) << "the whole song again";
  EXPECT_NEAR(capture.frequencyAt(sounding[1].first + 0.1), 440, 30);
}

class PlayerLeaves : public Player, public ::testing::WithParamInterface<int32_t> {};

TEST_P(PlayerLeaves, NextAndPreviousReportTheEndAndExit) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  usleep(300 * 1000);
  EXPECT_EQ(syncmusic("musicplayerport", GetParam()), GetParam());
  EXPECT_FALSE(playerPortExists()) << "the port is gone once the command is answered";
  EXPECT_GE(events.waitFor(EVENT_SONG_ENDED, 5000), 0);
  ASSERT_TRUE(player.waitForExit(5000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PLAY), -1);
  Capture capture(capturePath);
  EXPECT_LT(capture.soundingSeconds(), 0.3 + 0.3);
}

INSTANTIATE_TEST_SUITE_P(Commands, PlayerLeaves, ::testing::Values(PLAYER_NEXT, PLAYER_PREVIOUS));

TEST_F(Player, QuitExitsWithoutAnEvent) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_QUIT), PLAYER_QUIT);
  EXPECT_FALSE(playerPortExists());
  ASSERT_TRUE(player.waitForExit(5000));
  EXPECT_TRUE(player.exitedWith(0));
  usleep(200 * 1000);
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING}));
}

TEST_F(Player, OtherValuesAreAnsweredAndIgnored) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  for (int32_t value : {1, 8, -1, 1000}) EXPECT_EQ(syncmusic("musicplayerport", value), value);
  // The one question among them: the answer is the song's length.
  EXPECT_NEAR(syncmusic("musicplayerport", PLAYER_LENGTH), MP3_SECONDS * 1000, 100);
  ASSERT_TRUE(player.waitForExit(10000));
  Capture capture(capturePath);
  EXPECT_EQ(capture.sounding().size(), 1u);
  EXPECT_NEAR(capture.soundingSeconds(), MP3_SECONDS, 0.2);
}

TEST_F(Player, MissingFileIsReportedAndTheDiskMovesOn) {
  EventRecorder events;
  std::string missing = scratch.path + "/no-such-song.mp3";
  ASSERT_TRUE(start(missing));
  ASSERT_TRUE(player.waitForExit(5000));
  EXPECT_FALSE(player.exitedWith(0));
  EXPECT_GE(events.waitFor(EVENT_SONG_ENDED, 0), 0);
  auto lines = playerLines();
  ASSERT_EQ(lines.size(), 1u) << player.errorText();
  EXPECT_NE(lines[0].find(missing), std::string::npos);
  EXPECT_NE(lines[0].find("No such file"), std::string::npos);
  EXPECT_FALSE(playerPortExists());
}

TEST_F(Player, UndecodableFileIsReportedAndTheDiskMovesOn) {
  EventRecorder events;
  std::string junk = scratch.path + "/junk.mp3";
  ASSERT_TRUE(writeFile(junk, "this is no song at all\n"));
  ASSERT_TRUE(start(junk));
  ASSERT_TRUE(player.waitForExit(5000));
  EXPECT_FALSE(player.exitedWith(0));
  EXPECT_GE(events.waitFor(EVENT_SONG_ENDED, 0), 0);
  auto lines = playerLines();
  ASSERT_EQ(lines.size(), 1u) << player.errorText();
  EXPECT_NE(lines[0].find(junk), std::string::npos);
  EXPECT_FALSE(playerPortExists());
}

TEST_F(Player, TwoCommandsAtOnceAreBothAnswered) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  // Sent as soon as the port is there, while the player is still loading.
  int64_t giveUp = nowMs() + 5000;
  while (!playerPortExists() && nowMs() < giveUp) usleep(1000);
  int32_t first = 0, second = 0;
  // The player answers once it plays: wait for that, not just the musicdisk's bound.
  auto send = [](int32_t *answer) {
    MusicMessage message = {0, 0, NT_MESSAGE, 0, {}, {}, sizeof(MusicMessage), PLAYER_PAUSE}, reply;
    MsgPort port;
    if (SafePutToPort(&message, PLAYER_PORT, &port) && waitForReply(&port, &reply, 5000)) *answer = reply.value;
    closeReplyPort(&port);
  };
  std::thread a(send, &first);
  std::thread b(send, &second);
  a.join();
  b.join();
  EXPECT_EQ(first, PLAYER_PAUSE);
  EXPECT_EQ(second, PLAYER_PAUSE);
  // Paused and resumed again: the song still plays to its end.
  ASSERT_TRUE(player.waitForExit(10000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING, EVENT_SONG_ENDED}));
  Capture capture(capturePath);
  EXPECT_NEAR(capture.soundingSeconds(), MP3_SECONDS, 0.25);
}

TEST_F(Player, MessageOfTheWrongSizeIsDroppedAndServingGoesOn) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "%s", scratch.portFile("musicplayerport").c_str());
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
  timeval bound = {3, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  const char shortMessage[10] = {0, 0, 0, 0, 0, 0, 0, 0, 5, 0};
  ASSERT_EQ(send(fd, shortMessage, sizeof shortMessage, MSG_NOSIGNAL), 10);
  char reply[64];
  EXPECT_EQ(recv(fd, reply, sizeof reply, 0), 0) << "closed without a reply";
  close(fd);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_QUIT), PLAYER_QUIT);
  ASSERT_TRUE(player.waitForExit(5000));
  EXPECT_TRUE(player.exitedWith(0));
}

TEST_F(Player, WithoutAnAudioDeviceItSaysSoOnceAndKeepsRealTime) {
  EventRecorder events;
  ASSERT_TRUE(player.start(scratch.path, mp3, false, {"SDL_AUDIODRIVER=no-such-driver"}));
  int64_t playing = events.waitFor(EVENT_PLAYING, 5000);
  ASSERT_GE(playing, 0);
  ASSERT_TRUE(player.waitForExit(10000));
  EXPECT_TRUE(player.exitedWith(0));
  int64_t ended = events.waitFor(EVENT_SONG_ENDED, 0);
  ASSERT_GE(ended, 0);
  EXPECT_NEAR((ended - playing) / 1000.0, MP3_SECONDS, 0.3);
  auto lines = playerLines();
  ASSERT_EQ(lines.size(), 1u) << player.errorText();
  EXPECT_NE(lines[0].find("no audio device"), std::string::npos);
}

TEST_F(Player, LastSongOfTheDiskFadesOut) {
  std::string longer = scratch.path + "/long.mp3";
  ASSERT_TRUE(makeTwoToneMp3(longer, 3.2));  // 6.4 s: room for the fade
  EventRecorder events;
  ASSERT_TRUE(start(longer, true));
  ASSERT_TRUE(player.waitForExit(15000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_GE(events.waitFor(EVENT_SONG_ENDED, 0), 0);
  Capture capture(capturePath);
  auto sounding = capture.sounding();
  ASSERT_FALSE(sounding.empty());
  double start = sounding.front().first, end = sounding.back().second;
  int full = capture.peak(static_cast<size_t>((start + 3.5) * Capture::RATE), Capture::RATE / 10);
  int fading = capture.peak(static_cast<size_t>((start + 5.4) * Capture::RATE), Capture::RATE / 10);
  EXPECT_LT(fading, full * 0.6) << "a second before its end the song is fading";
  EXPECT_GT(fading, Capture::LOUD);
  EXPECT_NEAR(end - start, 6.4, 0.3);
}

class PlayerSignalled : public Player, public ::testing::WithParamInterface<int> {};

TEST_P(PlayerSignalled, TerminationSignalEndsItCleanly) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  pid_t pid = player.pid;
  kill(pid, GetParam());
  ASSERT_TRUE(player.waitForExit(5000));
  EXPECT_TRUE(player.exitedWith(0));
  EXPECT_FALSE(playerPortExists());
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING}));
}

INSTANTIATE_TEST_SUITE_P(Signals, PlayerSignalled, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST_F(Player, EndsWhenItsParentEnds) {
  // Orphans come to this process, so the player can be waited for here.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  EventRecorder events;
  int pipeFds[2], goFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  ASSERT_EQ(pipe(goFds), 0);
  std::string program = MUSICDISK_BINARY_DIR "/musicplayer/sdlmusicplayer";
  std::string env1 = "SDL_AUDIODRIVER=disk", env2 = "SDL_DISKAUDIOFILE=" + capturePath,
              env3 = "XDG_RUNTIME_DIR=" + scratch.path;
  char *argv[] = {program.data(), mp3.data(), nullptr};
  char *envp[] = {env1.data(), env2.data(), env3.data(), nullptr};
  pid_t parent = fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    // The player's parent: starts it, then ends when the test says so.
    pid_t child = fork();
    if (child == 0) {
      execve(argv[0], argv, envp);
      _exit(127);
    }
    if (write(pipeFds[1], &child, sizeof child) != sizeof child) _exit(1);
    char go;
    _exit(read(goFds[0], &go, 1) == 1 ? 0 : 1);
  }
  pid_t playerPid = -1;
  ASSERT_EQ(read(pipeFds[0], &playerPid, sizeof playerPid), static_cast<ssize_t>(sizeof playerPid));
  close(pipeFds[0]);
  close(pipeFds[1]);
  EXPECT_GE(events.waitFor(EVENT_PLAYING, 10000), 0);
  ASSERT_EQ(write(goFds[1], "x", 1), 1);  // the parent ends now, while the song plays
  close(goFds[0]);
  close(goFds[1]);
  waitpid(parent, nullptr, 0);
  int status = 0;
  int64_t giveUp = nowMs() + 5000;
  bool ended = false;
  while (!(ended = waitpid(playerPid, &status, WNOHANG) == playerPid) && nowMs() < giveUp) usleep(5000);
  if (!ended) {
    kill(playerPid, SIGKILL);
    waitpid(playerPid, &status, 0);
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
  ASSERT_TRUE(ended) << "the player outlived its parent";
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_FALSE(playerPortExists());
  EXPECT_EQ(events.values(), (std::vector<int32_t>{EVENT_LOADING, EVENT_PLAYING}));
}

TEST_F(Player, APortLeftByAKilledPlayerIsTakenOver) {
  EventRecorder events;
  ASSERT_TRUE(start(mp3));
  ASSERT_GE(events.waitFor(EVENT_PLAYING, 5000), 0);
  kill(player.pid, SIGKILL);
  player.waitForExit(5000);
  ASSERT_TRUE(playerPortExists()) << "a killed player cannot clean up";
  PlayerProcess next;
  ASSERT_TRUE(next.start(scratch.path, module, false, {"SDL_AUDIODRIVER=dummy"}));
  int64_t giveUp = nowMs() + 5000;
  while (events.values().size() < 4 && nowMs() < giveUp) usleep(5000);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_QUIT), PLAYER_QUIT);
  ASSERT_TRUE(next.waitForExit(5000));
  EXPECT_TRUE(next.exitedWith(0));
  EXPECT_FALSE(playerPortExists());
}

TEST_F(Player, BadArgumentsAreRefused) {
  std::string program = MUSICDISK_BINARY_DIR "/musicplayer/sdlmusicplayer";
  std::string two = "2";
  char *noPath[] = {program.data(), nullptr};
  char *wrongExtra[] = {program.data(), mp3.data(), two.data(), nullptr};
  for (char **argv : {noPath, wrongExtra}) {
    PlayerProcess refused;
    ASSERT_EQ(posix_spawn(&refused.pid, argv[0], nullptr, nullptr, argv, environ), 0);
    ASSERT_TRUE(refused.waitForExit(5000));
    EXPECT_TRUE(refused.exitedWith(2));
  }
  EXPECT_FALSE(playerPortExists());
}

}  // namespace
