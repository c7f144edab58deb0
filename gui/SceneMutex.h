// The lock over an editor's element tree, which also tells the render
// thread whether anybody else touched the tree since its last frame.
//
// Input, layout-script calls and the preferences panel all change the scene
// under this lock; the render thread reads the count and draws a frame only
// when it moved (or when something it watches itself changed). Its own
// holds, for updating and drawing, do not count.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace QW {

class SceneMutex {
 public:
  void lock() {
    mutex_.lock();
    noteHold();
  }
  bool try_lock() {
    if (!mutex_.try_lock()) return false;
    noteHold();
    return true;
  }
  void unlock() { mutex_.unlock(); }

  // Holds that are not changes: the render thread updating and drawing.
  class DrawingHold {
   public:
    explicit DrawingHold(SceneMutex& m) : m_(m) {
      m_.mutex_.lock();
      if (m_.drawingDepth_++ == 0) m_.drawer_ = std::this_thread::get_id();
    }
    ~DrawingHold() {
      if (--m_.drawingDepth_ == 0) m_.drawer_ = std::thread::id();
      m_.mutex_.unlock();
    }
    DrawingHold(const DrawingHold&) = delete;
    DrawingHold& operator=(const DrawingHold&) = delete;

   private:
    SceneMutex& m_;
  };

  // How many holds there have been by anybody but the drawer.
  uint64_t changes() const { return changes_.load(std::memory_order_acquire); }

 private:
  // drawer_ and drawingDepth_ change only under mutex_, and are read here
  // with it held.
  void noteHold() {
    if (drawer_ != std::this_thread::get_id()) changes_.fetch_add(1, std::memory_order_acq_rel);
  }

  std::recursive_mutex mutex_;
  std::thread::id drawer_;
  int drawingDepth_ = 0;
  std::atomic<uint64_t> changes_{0};
};

}  // namespace QW
