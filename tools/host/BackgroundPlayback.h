// Audio running through a plug-in on a thread of its own, paced by the
// clock and looping the file, the way a DAW keeps playing while the user
// looks at the plug-in's editor. What the plug-in puts out goes nowhere: the
// point is that its editor shows live audio.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <thread>

#include "tools/host/AudioFiles.h"
#include "tools/host/PluginInstance.h"
#include "tools/host/RealtimeRunner.h"
#include "tools/host/StopRequest.h"

namespace vhost {

class BackgroundPlayback {
 public:
  // Tells the suspended plug-in the file's sample rate and `blockSize`,
  // switches it on and starts playing. `input` and `stop` must outlive this
  // object.
  BackgroundPlayback(PluginInstance& plugin, AudioReader& input, int32_t blockSize,
                     const StopRequest& stop);
  // Stops, if finish() did not, without reporting what went wrong: on the
  // way out of a failure the first error is the one worth telling.
  ~BackgroundPlayback();
  BackgroundPlayback(const BackgroundPlayback&) = delete;
  BackgroundPlayback& operator=(const BackgroundPlayback&) = delete;

  // False once playing ended by itself: a signal, or a failure that
  // finish() will report.
  bool playing() const { return !ended_.load(); }

  // Ends playing, waits for the thread and switches the plug-in off. Throws
  // what the thread failed with, once.
  RealtimeResult finish();

 private:
  void play(AudioReader& input, const RealtimePlan& plan, const StopRequest& stop);
  void join();

  PluginInstance& plugin_;
  std::atomic<bool> halt_{false};
  std::atomic<bool> ended_{false};
  RealtimeResult result_;     // written by the thread, read after joining
  std::exception_ptr error_;  // likewise
  std::thread thread_;
};

}  // namespace vhost
