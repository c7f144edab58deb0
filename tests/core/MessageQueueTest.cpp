#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/BlockSplitter.h"
#include "core/MessageQueue.h"
#include "scripting/LuaMIDIHelper.h"

namespace {

TEST(MidiIntake, SplitsStatusMasksDataAndDropsTheSysexLeadingByte) {
  QW::MessageQueue queue;
  QW::LuaMIDIHelper helper{nullptr, &queue};
  vst::VstMidiEvent note{};
  note.type = vst::kVstMidiType, note.byteSize = sizeof note;
  note.deltaFrames = 17;
  note.midiData[0] = static_cast<char>(0x92), note.midiData[1] = static_cast<char>(0xBC);
  note.midiData[2] = 0x7F;
  std::vector<char> dump = {char(0xF0), 0x7E, 0x06, char(0xF7)};
  vst::VstMidiSysexEvent sysex{};
  sysex.type = vst::kVstSysExType, sysex.byteSize = sizeof sysex;
  sysex.dumpBytes = static_cast<int32_t>(dump.size());
  sysex.sysexDump = dump.data();
  struct {
    vst::VstEvents head;
    vst::VstEvent* more[1];
  } list{
      {3, 0, {reinterpret_cast<vst::VstEvent*>(&note), reinterpret_cast<vst::VstEvent*>(&sysex)}},
      {reinterpret_cast<vst::VstEvent*>(&note)}};
  EXPECT_EQ(helper.ProcessEvents(&list.head), 1);
  QW::MessageQueueItem* item = queue.Next();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(std::vector<int>({int(item->type), item->status, item->channel, item->data1,
                              item->data2, item->deltaFrames}),
            std::vector<int>({1, 0x90, 2, 0x3C, 0x7F, 17}));
  item = queue.Next();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->type, 2u);
  EXPECT_EQ(item->sysex, (std::vector<uint8_t>{0x7E, 0x06, 0xF7}));
  EXPECT_EQ(queue.Next(), nullptr);  // a dump ends the list
  EXPECT_EQ(helper.ProcessEvents(nullptr), 1);
}

TEST(MessageQueue, HoldsSixtyThreeWaitingMessages) {
  QW::MessageQueue queue;
  testing::internal::CaptureStderr();
  for (int i = 0; i < 64; ++i) queue.Write(0xB0, 0, static_cast<uint8_t>(i), 0, i);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "MessageQueue::Write() overflow\n");
  for (int i = 0; i < 63; ++i) ASSERT_EQ(queue.Next()->data1, i);
  EXPECT_EQ(queue.Next(), nullptr);
}

// Each case writes messages (value, position), then runs blocks of the given
// sizes: the audio pieces processed and the messages handed on, in order.
TEST(BlockSplitting, MessagesLandBetweenTheAudioAroundThem) {
  const struct {
    std::vector<std::pair<int, int>> messages;
    std::vector<std::pair<uint32_t, std::string>> blocks;
  } cases[] = {
      {{{1, 0}, {2, 0}, {3, 100}}, {{256, "m1 m2 a0+100 m3 a100+156 "}}},
      {{{4, 0}, {5, 1}, {6, 2}}, {{8, "m4 a0+1 m5 a1+1 m6 a2+6 "}}},  // one frame is apart
      {{{1, 1000}, {2, 10}}, {{64, "a0+64 m1 "}, {64, "a0+10 m2 a10+54 "}}},
      {{{3, -5}}, {{32, "a0+32 m3 "}}},
      {{{1, 50}, {2, 20}, {3, 60}}, {{100, "a0+50 m1 m2 a50+10 m3 a60+40 "}}},
      {{{1, 0}}, {{0, ""}, {8, "m1 a0+8 "}}},
  };
  for (const auto& c : cases) {
    QW::MessageQueue queue;
    for (const auto& [value, delta] : c.messages)
      queue.Write(0xB0, 0, static_cast<uint8_t>(value), 0, delta);
    for (const auto& [frames, expected] : c.blocks) {
      std::string trace;
      QW::splitBlock(
          queue, frames,
          [&](uint32_t at, uint32_t n) {
            trace += "a" + std::to_string(at) + "+" + std::to_string(n) + " ";
          },
          [&](const QW::MessageQueueItem& m) { trace += "m" + std::to_string(m.data1) + " "; });
      EXPECT_EQ(trace, expected);
    }
  }
}

}  // namespace
