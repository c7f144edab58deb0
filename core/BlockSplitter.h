// Cuts one host block at the positions of the queued MIDI messages: audio up
// to a message's position is processed, then the message is handled, so a
// message acts exactly between the audio before and after it.
#pragma once

#include <cstdint>

#include "core/MessageQueue.h"

namespace QW {

// process(offset, frames) runs the audio of one piece; handle(item) takes
// one message. Messages at the same position are handled back to back; one
// beyond the block is handled after the whole block; messages left when the
// block is done wait for the next block, compared afresh from position 0.
// Positions compare as unsigned, so a negative one counts as beyond the block.
template <typename Process, typename Handle>
void splitBlock(MessageQueue& queue, uint32_t frames, Process&& process, Handle&& handle) {
  uint32_t position = 0;
  uint32_t remaining = frames;
  uint32_t last = 0;
  while (remaining > 0) {
    MessageQueueItem* message = queue.Next();
    uint32_t chunk = remaining;
    if (message) {
      const auto delta = static_cast<uint32_t>(message->deltaFrames);
      if (delta > last) {
        chunk = delta - last < remaining ? delta - last : remaining;
        last = delta;
      } else {
        chunk = 0;
      }
    }
    if (chunk > 0) {
      process(position, chunk);
      remaining -= chunk;
      position += chunk;
    }
    if (message) handle(*message);
  }
}

}  // namespace QW
