#include "tools/host/MidiEvents.h"

#include <smf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "tools/host/HostError.h"
#include "tools/host/MidiFileCheck.h"

namespace vhost {

namespace {

struct SmfDeleter {
  void operator()(smf_t* smf) const { smf_delete(smf); }
};

// libsmf reports problems through GLib's log; the last message becomes part
// of our own error line instead of appearing as stray output.
class GlibMessageCapture {
 public:
  GlibMessageCapture() : previous_(g_log_set_default_handler(&GlibMessageCapture::store, this)) {}
  ~GlibMessageCapture() { g_log_set_default_handler(previous_, nullptr); }
  GlibMessageCapture(const GlibMessageCapture&) = delete;
  GlibMessageCapture& operator=(const GlibMessageCapture&) = delete;
  const std::string& last() const { return last_; }

 private:
  static void store(const gchar*, GLogLevelFlags, const gchar* message, gpointer self) {
    if (message) static_cast<GlibMessageCapture*>(self)->last_ = message;
  }

  GLogFunc previous_;
  std::string last_;
};

}  // namespace

std::vector<TimedMidiMessage> readMidiFile(const std::string& path, double sampleRate) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    throw failure("cannot read " + path + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw failure("cannot read " + path + ": it is a directory");
  if (static_cast<uint64_t>(st.st_size) > kLargestMidiFile)
    throw failure("cannot read " + path + " as a Standard MIDI File: it is too large");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw failure("cannot read " + path + ": " + std::strerror(errno));
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  if (in.bad()) throw failure("cannot read " + path + ": " + std::strerror(errno));
  return parseMidiFile(bytes, path, sampleRate);
}

std::vector<TimedMidiMessage> parseMidiFile(const std::vector<uint8_t>& bytes,
                                            const std::string& name, double sampleRate) {
  const std::string problem = midiFileProblem(bytes.data(), bytes.size());
  if (!problem.empty())
    throw failure("cannot read " + name + " as a Standard MIDI File: " + problem);

  std::unique_ptr<smf_t, SmfDeleter> smf;
  std::string complaint;
  {
    const GlibMessageCapture capture;
    smf.reset(smf_load_from_memory(bytes.data(), static_cast<int>(bytes.size())));
    complaint = capture.last();
  }
  if (!smf)
    throw failure("cannot read " + name + " as a Standard MIDI File" +
                  (complaint.empty() ? "" : ": " + complaint));

  std::vector<TimedMidiMessage> messages;
  smf_rewind(smf.get());
  while (smf_event_t* event = smf_get_next_event(smf.get())) {
    if (smf_event_is_metadata(event) || event->midi_buffer_length <= 0) continue;
    TimedMidiMessage message;
    message.frame = std::llround(event->time_seconds * sampleRate);
    message.bytes.assign(event->midi_buffer, event->midi_buffer + event->midi_buffer_length);
    messages.push_back(std::move(message));
  }
  return messages;
}

void EventBatch::clear() {
  midi_.clear();
  sysex_.clear();
  sysexData_.clear();
  order_.clear();
}

void EventBatch::add(int32_t deltaFrames, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  if (bytes[0] == 0xF0) {
    std::vector<char>& data = sysexData_.emplace_back(bytes.begin(), bytes.end());
    vst::VstMidiSysexEvent& event = sysex_.emplace_back();
    event.type = vst::kVstSysExType;
    event.byteSize = static_cast<int32_t>(sizeof event);
    event.deltaFrames = deltaFrames;
    event.dumpBytes = static_cast<int32_t>(data.size());
    event.sysexDump = data.data();
    order_.push_back(reinterpret_cast<vst::VstEvent*>(&event));
    return;
  }
  // A VstMidiEvent carries at most three bytes: longer system messages have
  // no place in it.
  if (bytes.size() > 3) return;
  vst::VstMidiEvent& event = midi_.emplace_back();
  event.type = vst::kVstMidiType;
  event.byteSize = static_cast<int32_t>(sizeof event);
  event.deltaFrames = deltaFrames;
  for (size_t i = 0; i < bytes.size(); ++i) event.midiData[i] = static_cast<char>(bytes[i]);
  order_.push_back(reinterpret_cast<vst::VstEvent*>(&event));
}

vst::VstEvents* EventBatch::events() {
  // VstEvents ends in a variable-length pointer array: a header of two
  // pointer-sized words, then one pointer per event.
  static_assert(offsetof(vst::VstEvents, events) == 2 * sizeof(intptr_t), "VstEvents layout");
  storage_.assign(2 + std::max<size_t>(order_.size(), 2), 0);
  auto* list = reinterpret_cast<vst::VstEvents*>(storage_.data());
  list->numEvents = static_cast<int32_t>(order_.size());
  list->reserved = 0;
  for (size_t i = 0; i < order_.size(); ++i) list->events[i] = order_[i];
  return list;
}

MidiSchedule::MidiSchedule(std::vector<TimedMidiMessage> messages)
    : messages_(std::move(messages)) {}

size_t MidiSchedule::collect(int64_t start, int32_t frames, EventBatch& batch) {
  batch.clear();
  // Blocks are asked for in order, so anything earlier than `start` belongs
  // to a block that was never asked for and is dropped.
  while (next_ < messages_.size() && messages_[next_].frame < start) ++next_;
  while (next_ < messages_.size() && messages_[next_].frame < start + frames) {
    batch.add(static_cast<int32_t>(messages_[next_].frame - start), messages_[next_].bytes);
    ++next_;
  }
  delivered_ += batch.size();
  return batch.size();
}

}  // namespace vhost
