// A fixed ring of 64 MIDI messages between the host's event call and the
// audio callback. Only the audio thread touches it (the host calls
// processEvents and processReplacing one after the other), so it takes no
// lock and never allocates for short messages.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace QW {

struct MessageQueueItem {
  enum Type : uint32_t { kShort = 1, kSysEx = 2 };
  uint32_t type = kShort;
  uint8_t status = 0;   // high nibble of the status byte, in place
  uint8_t channel = 0;  // 0..15
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  std::vector<uint8_t> sysex;  // keeps its capacity between uses
  int32_t deltaFrames = 0;
};

class MessageQueue {
 public:
  static constexpr int32_t kCapacity = 64;

  MessageQueue();

  // Drops the message with a line on standard error when the ring is full.
  void Write(uint8_t status, uint8_t channel, uint8_t data1, uint8_t data2, int32_t deltaFrames);
  bool WriteSysEx(const uint8_t* bytes, int32_t length);

  // The next unread item, advancing the read index, or null when empty.
  MessageQueueItem* Next();
  bool Empty() const { return wrap(readIndex_ + 1) == writeIndex_; }

  int32_t readIndex() const { return readIndex_; }
  int32_t writeIndex() const { return writeIndex_; }

 private:
  static int32_t wrap(int32_t i) { return i >= kCapacity ? 0 : i; }
  // Before the first read the read index is -1 and the plain full test never
  // fires; refusing the 64th unread message keeps the ring consistent then.
  bool Full() const;

  std::unique_ptr<MessageQueueItem> items_[kCapacity];
  int32_t readIndex_ = -1;
  int32_t writeIndex_ = 0;
};

}  // namespace QW
