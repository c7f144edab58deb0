#include "core/MessageQueue.h"

#include <cstdio>
#include <cstring>

namespace QW {

MessageQueue::MessageQueue() {
  for (auto& item : items_) item = std::make_unique<MessageQueueItem>();
}

bool MessageQueue::Full() const {
  if (writeIndex_ == readIndex_) return true;
  // Still unread from the start: 63 waiting messages fill the ring.
  return readIndex_ < 0 && writeIndex_ == kCapacity - 1;
}

void MessageQueue::Write(uint8_t status, uint8_t channel, uint8_t data1, uint8_t data2,
                         int32_t deltaFrames) {
  if (Full()) {
    std::fputs("MessageQueue::Write() overflow\n", stderr);
    return;
  }
  MessageQueueItem& item = *items_[writeIndex_];
  item.type = MessageQueueItem::kShort;
  item.status = status;
  item.channel = channel;
  item.data1 = data1;
  item.data2 = data2;
  item.deltaFrames = deltaFrames;
  writeIndex_ = wrap(writeIndex_ + 1);
}

bool MessageQueue::WriteSysEx(const uint8_t* bytes, int32_t length) {
  if (Full()) {
    std::fputs("MessageQueue::WriteSysEx() overflow\n", stderr);
    return false;
  }
  MessageQueueItem& item = *items_[writeIndex_];
  item.type = MessageQueueItem::kSysEx;
  const size_t count = length > 0 ? static_cast<size_t>(length) : 0;
  item.sysex.resize(count);
  if (count > 0 && bytes) std::memcpy(item.sysex.data(), bytes, count);
  item.deltaFrames = 0;
  writeIndex_ = wrap(writeIndex_ + 1);
  return true;
}

MessageQueueItem* MessageQueue::Next() {
  const int32_t next = wrap(readIndex_ + 1);
  if (next == writeIndex_) return nullptr;
  readIndex_ = next;
  return items_[next].get();
}

}  // namespace QW
