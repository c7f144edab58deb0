#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/BlockSplitter.h"
#include "core/MessageQueue.h"
#include "scripting/LuaMIDIHelper.h"

namespace {

// A host event list that owns its events.
struct EventList {
  std::vector<vst::VstMidiEvent> midi;
  std::vector<vst::VstMidiSysexEvent> sysex;
  std::vector<vst::VstEvent*> pointers;
  std::vector<uint8_t> storage;

  void note(uint8_t status, uint8_t d1, uint8_t d2, int32_t delta) {
    vst::VstMidiEvent e{};
    e.type = vst::kVstMidiType;
    e.byteSize = sizeof e;
    e.deltaFrames = delta;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(d1);
    e.midiData[2] = static_cast<char>(d2);
    midi.push_back(e);
    order.push_back(0);
  }
  void dump(std::vector<uint8_t> bytes) {
    vst::VstMidiSysexEvent e{};
    e.type = vst::kVstSysExType;
    e.byteSize = sizeof e;
    e.dumpBytes = static_cast<int32_t>(bytes.size());
    dumps.push_back(std::move(bytes));
    sysex.push_back(e);
    order.push_back(1);
  }
  vst::VstEvents* build() {
    size_t m = 0, s = 0;
    pointers.clear();
    for (int kind : order) {
      if (kind == 0) {
        pointers.push_back(reinterpret_cast<vst::VstEvent*>(&midi[m++]));
      } else {
        sysex[s].sysexDump = reinterpret_cast<char*>(dumps[s].data());
        pointers.push_back(reinterpret_cast<vst::VstEvent*>(&sysex[s++]));
      }
    }
    storage.assign(sizeof(vst::VstEvents) + pointers.size() * sizeof(void*), 0);
    auto* list = reinterpret_cast<vst::VstEvents*>(storage.data());
    list->numEvents = static_cast<int32_t>(pointers.size());
    for (size_t i = 0; i < pointers.size(); ++i) list->events[i] = pointers[i];
    return list;
  }
  std::vector<int> order;
  std::vector<std::vector<uint8_t>> dumps;
};

struct Intake {
  QW::MessageQueue queue;
  QW::LuaMIDIHelper helper{nullptr, &queue};
};

TEST(MidiIntake, SplitsStatusIntoKindAndChannelAndMasksData) {
  Intake in;
  EventList list;
  list.note(0x92, 0xBC, 0x7F, 17);
  EXPECT_EQ(in.helper.ProcessEvents(list.build()), 1);
  QW::MessageQueueItem* item = in.queue.Next();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->type, 1u);
  EXPECT_EQ(item->status, 0x90);
  EXPECT_EQ(item->channel, 2);
  EXPECT_EQ(item->data1, 0x3C);
  EXPECT_EQ(item->data2, 0x7F);
  EXPECT_EQ(item->deltaFrames, 17);
  EXPECT_EQ(in.queue.Next(), nullptr);
}

TEST(MidiIntake, SysexDropsItsLeadingByteAndEndsTheList) {
  Intake in;
  EventList list;
  list.note(0x90, 60, 100, 0);
  list.dump({0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7});
  list.note(0x80, 60, 0, 5);
  EXPECT_EQ(in.helper.ProcessEvents(list.build()), 1);
  ASSERT_EQ(in.queue.Next()->status, 0x90);
  QW::MessageQueueItem* sysex = in.queue.Next();
  ASSERT_NE(sysex, nullptr);
  EXPECT_EQ(sysex->type, 2u);
  EXPECT_EQ(sysex->sysex, (std::vector<uint8_t>{0x7E, 0x00, 0x06, 0x01, 0xF7}));
  EXPECT_EQ(sysex->deltaFrames, 0);
  EXPECT_EQ(in.queue.Next(), nullptr);
}

TEST(MidiIntake, OddListsAreHarmless) {
  Intake in;
  EventList empty;
  EXPECT_EQ(in.helper.ProcessEvents(empty.build()), 1);
  EXPECT_EQ(in.helper.ProcessEvents(nullptr), 1);
  EventList zeroDump;
  zeroDump.dump({});
  EXPECT_EQ(in.helper.ProcessEvents(zeroDump.build()), 1);
  EXPECT_TRUE(in.queue.Next()->sysex.empty());
  EventList big;
  big.dump(std::vector<uint8_t>(65536, 0x11));
  EXPECT_EQ(in.helper.ProcessEvents(big.build()), 1);
  EXPECT_EQ(in.queue.Next()->sysex.size(), 65535u);
  EventList many;
  for (int i = 0; i < 1000; ++i) many.note(0xB0, 1, i & 127, i);
  testing::internal::CaptureStderr();
  EXPECT_EQ(in.helper.ProcessEvents(many.build()), 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("MessageQueue::Write() overflow\n"), std::string::npos);
}

TEST(MessageQueue, HoldsSixtyThreeWaitingMessages) {
  QW::MessageQueue queue;
  queue.Write(0x90, 0, 1, 1, 0);
  ASSERT_NE(queue.Next(), nullptr);  // reading has begun
  testing::internal::CaptureStderr();
  for (int i = 0; i < 64; ++i) queue.Write(0xB0, 0, static_cast<uint8_t>(i), 0, i);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "MessageQueue::Write() overflow\n");
  for (int i = 0; i < 63; ++i) {
    QW::MessageQueueItem* item = queue.Next();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->data1, i);
  }
  EXPECT_EQ(queue.Next(), nullptr);
}

TEST(MessageQueue, RefusesTheSixtyFourthBeforeTheFirstRead) {
  QW::MessageQueue queue;
  testing::internal::CaptureStderr();
  for (int i = 0; i < 63; ++i) queue.Write(0xB0, 0, static_cast<uint8_t>(i), 0, 0);
  EXPECT_FALSE(queue.WriteSysEx(nullptr, 0));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "MessageQueue::WriteSysEx() overflow\n");
  int count = 0;
  while (QW::MessageQueueItem* item = queue.Next()) EXPECT_EQ(item->data1, count++);
  EXPECT_EQ(count, 63);
}

// What the audio callback does with one block: the pieces it processes and
// the messages it hands on, in order.
std::string run(QW::MessageQueue& queue, uint32_t frames) {
  std::string trace;
  QW::splitBlock(
      queue, frames,
      [&](uint32_t offset, uint32_t n) {
        trace += "audio " + std::to_string(offset) + "+" + std::to_string(n) + "; ";
      },
      [&](const QW::MessageQueueItem& m) { trace += "msg " + std::to_string(m.data1) + "; "; });
  return trace;
}

TEST(BlockSplitting, MessagesLandBetweenTheAudioAroundThem) {
  QW::MessageQueue queue;
  queue.Write(0xB0, 0, 1, 0, 0);
  queue.Write(0xB0, 0, 2, 0, 0);
  queue.Write(0xB0, 0, 3, 0, 100);
  EXPECT_EQ(run(queue, 256), "msg 1; msg 2; audio 0+100; msg 3; audio 100+156; ");
  // One frame apart is apart.
  queue.Write(0xB0, 0, 4, 0, 0);
  queue.Write(0xB0, 0, 5, 0, 1);
  queue.Write(0xB0, 0, 6, 0, 2);
  EXPECT_EQ(run(queue, 8), "msg 4; audio 0+1; msg 5; audio 1+1; msg 6; audio 2+6; ");
}

TEST(BlockSplitting, LateAndNegativePositionsFollowTheBlock) {
  QW::MessageQueue queue;
  queue.Write(0xB0, 0, 1, 0, 1000);
  queue.Write(0xB0, 0, 2, 0, 10);
  EXPECT_EQ(run(queue, 64), "audio 0+64; msg 1; ");
  // The second message waits for the next block and compares afresh.
  EXPECT_EQ(run(queue, 64), "audio 0+10; msg 2; audio 10+54; ");
  queue.Write(0xB0, 0, 3, 0, -5);
  EXPECT_EQ(run(queue, 32), "audio 0+32; msg 3; ");
}

TEST(BlockSplitting, OutOfOrderPositionsAreHandledAtOnce) {
  QW::MessageQueue queue;
  queue.Write(0xB0, 0, 1, 0, 50);
  queue.Write(0xB0, 0, 2, 0, 20);
  queue.Write(0xB0, 0, 3, 0, 60);
  EXPECT_EQ(run(queue, 100), "audio 0+50; msg 1; msg 2; audio 50+10; msg 3; audio 60+40; ");
}

TEST(BlockSplitting, EmptyBlockConsumesNothing) {
  QW::MessageQueue queue;
  queue.Write(0xB0, 0, 1, 0, 0);
  EXPECT_EQ(run(queue, 0), "");
  EXPECT_EQ(run(queue, 8), "msg 1; audio 0+8; ");
}

}  // namespace
