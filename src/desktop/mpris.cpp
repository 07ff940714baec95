// The MPRIS 2 player on the session bus: the root and Player interfaces,
// served by sd-bus on a thread of its own, and the guard that keeps the
// program from starting a session bus where there is none.
//
// The thread owns the bus connection; the frame loop and the thread meet
// only in the small state below, under a lock that is never held across a
// bus call, so a slow or stuck bus never delays a frame.
#include "desktop/mpris.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/task.h"
#include "platform/termination.h"

namespace {

const char OBJECT_PATH[] = "/org/mpris/MediaPlayer2";
const char ROOT_INTERFACE[] = "org.mpris.MediaPlayer2";
const char PLAYER_INTERFACE[] = "org.mpris.MediaPlayer2.Player";
const char NO_TRACK[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
const char IDENTITY[] = "Musicdisk";
const char DESKTOP_ENTRY[] = "io.github.torvane.musicdisk";

// Shared between the frame loop and the bus thread, under shared.lock.
struct Shared {
  std::mutex lock;
  MprisView view = MPRIS_NOTHING;  // the frame loop's last report
  int commands[MPRIS_COMMAND_SLOTS];
  int commandHead = 0, commandCount = 0;
  int32_t volume = 1000;  // thousandths
  int32_t seeks = 0;      // moves made by keys
};
Shared shared;

// The bus thread's own.
sd_bus *bus = nullptr;
MusicTask *busTask = nullptr;
int wakeFd = -1;      // the frame loop's report changed
MprisView shown = MPRIS_NOTHING;  // what the bus was last told
MprisQuestions ask = {};
int64_t shownLengthUs = -1;  // of the shown track, -1 when unknown
uint64_t lengthAgainAtUs = UINT64_MAX;  // when to ask for the length again
bool shownCanSeek = false;   // the shown track can be moved in
int32_t shownVolume = 1000, shownSeeks = 0;

uint64_t monotonicUs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

// Asks the shown track's length; true when it became known.
bool askLength() {
  int32_t lengthMs = shown.track >= 0 ? ask.songLength() : -1;
  lengthAgainAtUs = lengthMs < -1 ? monotonicUs() + MPRIS_LENGTH_RETRY_MS * 1000u : UINT64_MAX;
  shownLengthUs = lengthMs > 0 ? int64_t{lengthMs} * 1000 : -1;
  return shownLengthUs > 0;
}

// Asks whether the shown track can be moved in; true when that changed.
bool askCanSeek() {
  bool before = shownCanSeek;
  shownCanSeek = shown.track >= 0 && shown.status != MPRIS_STOPPED && ask.canSeek();
  return shownCanSeek != before;
}

bool sameView(const MprisView &a, const MprisView &b) {
  return a.controllable == b.controllable && a.status == b.status && a.track == b.track && a.title == b.title &&
         a.artist == b.artist && a.album == b.album && a.artUrl == b.artUrl;
}

void wakeBusThread() {
  uint64_t one = 1;
  if (write(wakeFd, &one, sizeof one) < 0) {
    // The counter is full: the thread has a wake-up waiting anyway.
  }
}

void trackIdOf(int32_t track, char *out, size_t outSize) {
  snprintf(out, outSize, "/org/musicdisk/song/%d", static_cast<int>(track + 1));
}

// libdbus (SDL's X11 start-up uses it) starts a session bus of its own
// through dbus-launch when no address is set and the runtime directory has
// no bus socket, or when the address asks for exactly that; that daemon
// would outlive us. An address it cannot use keeps it from trying; the
// players inherit it, which is what they need too.
bool sessionBusExists() {
  const char *address = getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && strncmp(address, "autolaunch:", 11) == 0) unsetenv("DBUS_SESSION_BUS_ADDRESS");
  address = getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char *runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    std::string socketPath = std::string(runtime) + "/bus";
    struct stat info;
    if (stat(socketPath.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) return true;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  return false;
}

void pushCommand(int command) {
  std::lock_guard<std::mutex> guard(shared.lock);
  if (!shared.view.controllable) {
    // Nothing on the screen takes commands now (the intro, the farewell):
    // only Quit has a meaning, the same as closing the window.
    if (command == MPRIS_QUIT) requestTermination();
    return;
  }
  if (shared.commandCount == MPRIS_COMMAND_SLOTS) return;
  shared.commands[(shared.commandHead + shared.commandCount) % MPRIS_COMMAND_SLOTS] = command;
  shared.commandCount++;
}

// Methods. Each replies at once: the frame loop acts on the command in its
// next pass, and clients learn the outcome from PropertiesChanged.
int onCommand(sd_bus_message *message, void *userdata, sd_bus_error *) {
  pushCommand(static_cast<int>(reinterpret_cast<intptr_t>(userdata)));
  return sd_bus_reply_method_return(message, "");
}

int onIgnored(sd_bus_message *message, void *, sd_bus_error *) {
  return sd_bus_reply_method_return(message, "");  // Raise: nothing to do
}

// Moves are asked of the player here, on the bus thread: the answer (the
// new position) is what Seeked tells.
bool seekable() { return shown.controllable && shown.track >= 0 && shownCanSeek; }

void announceMove(int32_t positionMs) {
  if (positionMs >= 0)
    sd_bus_emit_signal(bus, OBJECT_PATH, PLAYER_INTERFACE, "Seeked", "x", int64_t{positionMs} * 1000);
}

int onSeek(sd_bus_message *message, void *, sd_bus_error *) {
  int64_t offsetUs;
  int r = sd_bus_message_read(message, "x", &offsetUs);
  if (r < 0) return r;
  if (seekable()) announceMove(ask.seek(true, offsetUs / 1000));  // past the end: the next song
  return sd_bus_reply_method_return(message, "");
}

int onSetPosition(sd_bus_message *message, void *, sd_bus_error *) {
  const char *track;
  int64_t positionUs;
  int r = sd_bus_message_read(message, "ox", &track, &positionUs);
  if (r < 0) return r;
  char shownId[64];
  trackIdOf(shown.track, shownId, sizeof shownId);
  // Another track, before the start or past the end: nothing.
  if (seekable() && strcmp(track, shownId) == 0 && positionUs >= 0 &&
      (shownLengthUs <= 0 || positionUs <= shownLengthUs))
    announceMove(ask.seek(false, positionUs / 1000));
  return sd_bus_reply_method_return(message, "");
}

int onOpenUri(sd_bus_message *, void *, sd_bus_error *error) {
  return sd_bus_error_set(error, SD_BUS_ERROR_NOT_SUPPORTED, "The musicdisk plays its own songs only");
}

// Properties.
// A flag's offset in the vtables is its value: 0 false, 1 true,
// CONTROLLABLE for those that follow whether commands are taken, SEEKABLE
// for whether the song can be moved in.
constexpr size_t CONTROLLABLE = 2, SEEKABLE = 3;

int getBool(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *userdata,
            sd_bus_error *) {
  size_t kind = reinterpret_cast<uintptr_t>(userdata);
  int value = kind == CONTROLLABLE ? shown.controllable : kind == SEEKABLE ? seekable() : kind == 1;
  return sd_bus_message_append(reply, "b", value);
}

int getString(sd_bus *, const char *, const char *, const char *property, sd_bus_message *reply, void *,
              sd_bus_error *) {
  return sd_bus_message_append(reply, "s", strcmp(property, "Identity") == 0 ? IDENTITY : DESKTOP_ENTRY);
}

int getNoStrings(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *, sd_bus_error *) {
  return sd_bus_message_append(reply, "as", 0);
}

int getOne(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *, sd_bus_error *) {
  return sd_bus_message_append(reply, "d", 1.0);
}

int getVolume(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *, sd_bus_error *) {
  return sd_bus_message_append(reply, "d", shownVolume / 1000.0);
}

// Taken by the frame loop like any command; clamped to 0.0..1.0.
int setVolume(sd_bus *, const char *, const char *, const char *, sd_bus_message *value, void *, sd_bus_error *error) {
  double volume;
  int r = sd_bus_message_read(value, "d", &volume);
  if (r < 0) return r;
  if (std::isnan(volume)) return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "The volume is not a number");
  volume = volume < 0.0 ? 0.0 : volume > 1.0 ? 1.0 : volume;
  pushCommand(MPRIS_VOLUME + static_cast<int>(std::lround(volume * 1000.0)));
  return 1;
}

// Asked of the player each time: a player that cannot tell shows 0.
int getPosition(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *, sd_bus_error *) {
  int32_t positionMs = shown.track >= 0 ? ask.songPosition() : -1;
  return sd_bus_message_append(reply, "x", positionMs > 0 ? int64_t{positionMs} * 1000 : int64_t{0});
}

int getStatus(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *, sd_bus_error *) {
  static const char *const names[] = {"Stopped", "Playing", "Paused"};
  int status = shown.status >= MPRIS_STOPPED && shown.status <= MPRIS_PAUSED ? shown.status : MPRIS_STOPPED;
  return sd_bus_message_append(reply, "s", names[status]);
}

int getMetadata(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *, sd_bus_error *) {
  int r = sd_bus_message_open_container(reply, 'a', "{sv}");
  if (r < 0) return r;
  if (shown.track < 0) {
    r = sd_bus_message_append(reply, "{sv}", "mpris:trackid", "o", NO_TRACK);
  } else {
    char trackId[64];
    trackIdOf(shown.track, trackId, sizeof trackId);
    r = sd_bus_message_append(reply, "{sv}{sv}{sv}{sv}", "mpris:trackid", "o", trackId, "xesam:trackNumber", "i",
                              static_cast<int>(shown.track + 1), "xesam:title", "s", shown.title ? shown.title : "",
                              "xesam:artist", "as", 1, shown.artist ? shown.artist : "");
    if (r >= 0 && shownLengthUs > 0) r = sd_bus_message_append(reply, "{sv}", "mpris:length", "x", shownLengthUs);
    if (r >= 0 && shown.album) r = sd_bus_message_append(reply, "{sv}", "xesam:album", "s", shown.album);
    if (r >= 0 && shown.artUrl) r = sd_bus_message_append(reply, "{sv}", "mpris:artUrl", "s", shown.artUrl);
  }
  if (r < 0) return r;
  return sd_bus_message_close_container(reply);
}

#define COMMAND(name, command) \
  SD_BUS_METHOD_WITH_OFFSET(name, "", "", onCommand, command, SD_BUS_VTABLE_UNPRIVILEGED)

const sd_bus_vtable ROOT_VTABLE[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", onIgnored, SD_BUS_VTABLE_UNPRIVILEGED),
    COMMAND("Quit", MPRIS_QUIT),
    SD_BUS_PROPERTY("CanQuit", "b", getBool, 1, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanRaise", "b", getBool, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("HasTrackList", "b", getBool, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Identity", "s", getString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("DesktopEntry", "s", getString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", getNoStrings, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", getNoStrings, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable PLAYER_VTABLE[] = {
    SD_BUS_VTABLE_START(0),
    COMMAND("Next", MPRIS_NEXT),
    COMMAND("Previous", MPRIS_PREVIOUS),
    COMMAND("Pause", MPRIS_PAUSE),
    COMMAND("PlayPause", MPRIS_PLAY_PAUSE),
    COMMAND("Stop", MPRIS_STOP),
    COMMAND("Play", MPRIS_PLAY),
    SD_BUS_METHOD("Seek", "x", "", onSeek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", onSetPosition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", onOpenUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", getStatus, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("Metadata", "a{sv}", getMetadata, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanGoNext", "b", getBool, CONTROLLABLE, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanGoPrevious", "b", getBool, CONTROLLABLE, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanPlay", "b", getBool, CONTROLLABLE, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanPause", "b", getBool, CONTROLLABLE, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanSeek", "b", getBool, SEEKABLE, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("CanControl", "b", getBool, 1, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Rate", "d", getOne, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("MinimumRate", "d", getOne, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("MaximumRate", "d", getOne, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", getVolume, setVolume, 0,
                             SD_BUS_VTABLE_UNPRIVILEGED | SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("Position", "x", getPosition, 0, 0),
    SD_BUS_VTABLE_END,
};

// Tells the bus what changed since it was last told.
void announceChanges() {
  MprisView now;
  int32_t volume, seeks;
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    now = shared.view;
    volume = shared.volume;
    seeks = shared.seeks;
  }
  MprisView before = shown;
  shown = now;
  const char *names[12];
  int n = 0;
  if (now.status != before.status) names[n++] = "PlaybackStatus";
  bool newSong = now.track != before.track || now.title != before.title || now.artist != before.artist;
  if (newSong || now.album != before.album || now.artUrl != before.artUrl) names[n++] = "Metadata";
  if (newSong) askLength();
  if ((newSong || now.status != before.status || now.controllable != before.controllable) && askCanSeek())
    names[n++] = "CanSeek";
  if (now.controllable != before.controllable) {
    names[n++] = "CanGoNext";
    names[n++] = "CanGoPrevious";
    names[n++] = "CanPlay";
    names[n++] = "CanPause";
  }
  if (volume != shownVolume) names[n++] = "Volume";
  shownVolume = volume;
  names[n] = nullptr;
  if (n > 0) sd_bus_emit_properties_changed_strv(bus, OBJECT_PATH, PLAYER_INTERFACE, const_cast<char **>(names));
  // A key moved the song: where it is now.
  if (seeks != shownSeeks && shown.track >= 0) announceMove(ask.songPosition());
  shownSeeks = seeks;
}

// A second musicdisk on the same desktop takes a name of its own.
int onNameReply(sd_bus_message *reply, void *, sd_bus_error *) {
  constexpr uint32_t NAME_TAKEN = 3;  // RequestName's "exists"
  uint32_t result = 0;
  if (sd_bus_message_is_method_error(reply, nullptr) || sd_bus_message_read(reply, "u", &result) < 0) {
    const sd_bus_error *error = sd_bus_message_get_error(reply);
    fprintf(stderr, "musicdisk: no name on the session bus for the media controls (%s)\n",
            error ? error->message : "bad reply");
    return 0;
  }
  if (result != NAME_TAKEN) return 0;
  std::string instance = std::string(MPRIS_BUS_NAME) + ".instance" + std::to_string(getpid());
  return sd_bus_request_name_async(bus, nullptr, instance.c_str(), 0, nullptr, nullptr);
}

int msUntil(uint64_t deadlineUs) {
  if (deadlineUs == UINT64_MAX) return -1;
  uint64_t nowUs = monotonicUs();
  return deadlineUs <= nowUs ? 0 : static_cast<int>((deadlineUs - nowUs + 999) / 1000);
}

void serveBus(MusicTask *task) {
  for (;;) {
    int r;
    while ((r = sd_bus_process(bus, nullptr)) > 0) {
    }
    if (r < 0) return;  // the bus went away: the program carries on without it
    announceChanges();
    if (monotonicUs() >= lengthAgainAtUs && askLength()) {
      const char *metadata[] = {"Metadata", nullptr};
      sd_bus_emit_properties_changed_strv(bus, OBJECT_PATH, PLAYER_INTERFACE, const_cast<char **>(metadata));
    }
    uint64_t deadline = UINT64_MAX;
    if (sd_bus_get_timeout(bus, &deadline) < 0) deadline = UINT64_MAX;
    if (lengthAgainAtUs < deadline) deadline = lengthAgainAtUs;
    struct pollfd fds[3] = {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
                            {wakeFd, POLLIN, 0},
                            {taskStopDescriptor(task), POLLIN, 0}};
    if (poll(fds, 3, msUntil(deadline)) < 0) continue;
    if (fds[2].revents) return;
    uint64_t count;
    if (fds[1].revents && read(wakeFd, &count, sizeof count) < 0) continue;
  }
}

void closeBus() {
  if (bus) sd_bus_flush_close_unref(bus);
  bus = nullptr;
  if (wakeFd >= 0) close(wakeFd);
  wakeFd = -1;
}

}  // namespace

bool mprisStart(const MprisQuestions &questions) {
  if (busTask) return true;
  ask = questions;
  if (!sessionBusExists()) {
    fputs("musicdisk: no session bus: the desktop's media controls will not see the musicdisk\n", stderr);
    return false;
  }
  int r = sd_bus_open_user(&bus);
  if (r >= 0) r = sd_bus_add_object_vtable(bus, nullptr, OBJECT_PATH, ROOT_INTERFACE, ROOT_VTABLE, nullptr);
  if (r >= 0) r = sd_bus_add_object_vtable(bus, nullptr, OBJECT_PATH, PLAYER_INTERFACE, PLAYER_VTABLE, nullptr);
  // The name is asked for without waiting: a slow bus must not hold up the start.
  if (r >= 0) r = sd_bus_request_name_async(bus, nullptr, MPRIS_BUS_NAME, 0, onNameReply, nullptr);
  if (r >= 0) {
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) r = -errno;
  }
  if (r >= 0) {
    busTask = createTask("mpris", serveBus);
    if (!busTask) r = -ENOMEM;
  }
  if (r < 0) {
    fprintf(stderr,
            "musicdisk: the session bus is unusable (%s): the desktop's media controls will not see the "
            "musicdisk\n",
            strerror(-r));
    closeBus();
    return false;
  }
  return true;
}

void mprisStop() {
  if (!busTask) return;
  deleteTask(busTask);
  busTask = nullptr;
  closeBus();
}

void mprisShow(const MprisView &view) {
  if (!busTask) return;
  bool changed;
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    changed = !sameView(shared.view, view);
    if (changed) shared.view = view;
    if (changed && !view.controllable) shared.commandCount = 0;
  }
  if (changed) wakeBusThread();
}

void mprisShowVolume(int32_t thousandths) {
  if (!busTask) return;
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    if (shared.volume == thousandths) return;
    shared.volume = thousandths;
  }
  wakeBusThread();
}

void mprisSeeked() {
  if (!busTask) return;
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    shared.seeks++;
  }
  wakeBusThread();
}

int mprisTakeCommand() {
  if (!busTask) return MPRIS_NONE;
  std::lock_guard<std::mutex> guard(shared.lock);
  if (shared.commandCount == 0) return MPRIS_NONE;
  int command = shared.commands[shared.commandHead];
  shared.commandHead = (shared.commandHead + 1) % MPRIS_COMMAND_SLOTS;
  shared.commandCount--;
  return command;
}
