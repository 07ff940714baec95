// The one helper thread that shares a big frame's rows with the drawing
// thread: started when first needed, stopped with the context.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "warp3d/softraster.h"

namespace {

// The one helper thread and the job it is given: generation counts the jobs
// handed out, finished the ones it has done.
struct Helper {
  std::mutex lock;
  std::condition_variable wake, done;
  std::thread thread;
  bool running = false, stopping = false;
  uint64_t generation = 0, finished = 0;
  void (*job)(void *, int, int) = nullptr;
  void *data = nullptr;
  ~Helper();  // a program that ends without closing the display still ends cleanly
};
Helper helper;

void helperLoop() {
  std::unique_lock<std::mutex> hold(helper.lock);
  uint64_t seen = helper.finished;  // every job before this thread was done without it
  for (;;) {
    helper.wake.wait(hold, [&] { return helper.stopping || helper.generation != seen; });
    if (helper.stopping) return;
    seen = helper.generation;
    hold.unlock();
    helper.job(helper.data, 1, 2);
    hold.lock();
    helper.finished = seen;
    helper.done.notify_one();
  }
}

}  // namespace

void w3d_SoftParallel(void (*job)(void *data, int part, int parts), void *data, bool shared) {
  if (!shared) {
    job(data, 0, 1);
    return;
  }
  if (!helper.running && std::thread::hardware_concurrency() >= 2) {
    helper.stopping = false;
    helper.thread = std::thread(helperLoop);
    helper.running = true;
  }
  if (!helper.running) {
    job(data, 0, 1);
    return;
  }
  uint64_t generation;
  {
    std::lock_guard<std::mutex> hold(helper.lock);
    helper.job = job;
    helper.data = data;
    generation = ++helper.generation;
  }
  helper.wake.notify_one();
  job(data, 0, 2);
  std::unique_lock<std::mutex> hold(helper.lock);
  helper.done.wait(hold, [&] { return helper.finished == generation; });
}

Helper::~Helper() { w3d_SoftStopHelper(); }

void w3d_SoftStopHelper() {
  if (!helper.running) return;
  {
    std::lock_guard<std::mutex> hold(helper.lock);
    helper.stopping = true;
  }
  helper.wake.notify_one();
  helper.thread.join();
  helper.running = false;
}
