#include "core/QwkTonalmire.h"

#include <cstring>

#include "core/BlockSplitter.h"
#include "core/GlobalSettings.h"
#include "core/ParamIds.h"
#include "core/RelaxedAtomic.h"
#include "core/TonalmireParameters.h"
#include "dsp/BrevikKernel.h"
#include "dsp/DenormalGuard.h"
#include "dsp/KernelSettings.h"
#include "dsp/SpectralTables.h"
#include "osc/OSCHelper.h"
#include "platform/Preferences.h"
#include "scripting/BrvkLuaMIDIHelper.h"
#include "scripting/InstanceRegistry.h"
#include "view/QwkTonalmireView.h"

namespace detail {
ParameterTableCopy::ParameterTableCopy()
    : table(tonalmireParameterTable(), tonalmireParameterTable() + kParamCount) {}
}  // namespace detail

namespace {

// The value-name lists that never change are made once per process and
// shared by every instance; they go when the library is unloaded.
CFArray* fixedList(std::initializer_list<const char*> names) {
  std::vector<const char*> texts(names);
  return CFArray::createWithStrings(texts.data(), texts.size());
}

CFArray* fftSizeNames() {
  static const CFRef<CFArray> list(
      fixedList({"32", "64", "128", "256", "512", "1024", "2048", "4096"}));
  return list.get();
}
CFArray* axisNames() {
  static const CFRef<CFArray> list(fixedList({"Log", "Linear"}));
  return list.get();
}
CFArray* positionNames() {
  static const CFRef<CFArray> list(fixedList({"After", "Before"}));
  return list.get();
}
CFArray* noScriptNames() {
  static const CFRef<CFArray> list(fixedList({"(none)"}));
  return list.get();
}

// "FFT Size" selects one of eight transforms, so whatever a chunk or a host
// put there is kept inside 0..7 wherever it is used (NaN reads as 0, as the
// display shows it).
int32_t fftSizeIndexOf(float value) {
  const int32_t index = truncToInt(value);
  return index < 0 ? 0 : index > 7 ? 7 : index;
}

template <typename T>
void storeOut(void* out, T value) {
  if (out) std::memcpy(out, &value, sizeof value);
}

}  // namespace

QwkTonalmire::QwkTonalmire(vst::HostCallback master)
    : ParameterTableCopy(), QwkAuBase(master, table.data(), kParamCount) {
  queue_ = std::make_unique<QW::MessageQueue>();
  auto scriptHelper = std::make_unique<BrvkLuaMIDIHelper>(this, queue_.get());
  context_.scripts = scriptHelper.get();
  lua_ = std::move(scriptHelper);
  osc_ = std::make_unique<QW::OSCHelper>(this, lua_.get());

  viewState_.displaySizeIndex = 5;
  viewState_.logX = 1;
  viewState_.logY = 1;
  viewState_.minDb = -160.0f;
  viewState_.maxDb = 0.0f;
  viewState_.minLinear = 0.0f;
  viewState_.maxLinear = 1.0f;
  viewState_.smoothing = 500.0f;

  setNumInputs(2);
  setNumOutputs(2);
  setUniqueID(vst::fourCC('Q', 'W', 'v', 'd'));
  programsAreChunks(true);
  canProcessReplacing(true);
  canMono(true);

  QwkProgram* program = currentProgram();
  for (int32_t i = 0; i < kParamCount; ++i) program->setParameter(i, table[i].defaultValue);
  program->setName("Defaults");

  setInitialDelay(fftSizeForIndex(fftSizeIndexOf(table[kParamFftSize].defaultValue)));
  setUpKernels();
  InitEffect();
  auto editor = std::make_unique<QwkTonalmireView>(this);
  // Hosts ask for the editor's rectangle before they open it; the layout
  // script decides the size.
  const QW::Size editorSize = editor->layoutWindowSize();
  editor->setSize(static_cast<int16_t>(editorSize.width), static_cast<int16_t>(editorSize.height));
  setEditor(std::move(editor));
  // Only a completely built effect is reachable from other instances.
  QW::InstanceRegistry::instance().Join(this);
  osc_->JoinInstances();
}

QwkTonalmire::~QwkTonalmire() {
  // Other instances' scripts and this one's script timers must not reach
  // the effect while it comes apart.
  QW::InstanceRegistry::instance().Leave(this);
  if (lua_) lua_->StopTimers();
  // Likewise OSC messages, from this instance's port or another's "/qwks/".
  if (osc_) osc_->StopTask();
  // The editor's render thread reads the program and the display block;
  // it must be gone before they are.
  if (AEffEditor* e = getEditor()) e->close();
  scriptNames_.reset();
  spectralScripts_.clear();
  tables_.reset();
  osc_.reset();
  lua_.reset();
  queue_.reset();
}

void QwkTonalmire::InitEffect() {
  context_.settings = KernelSettings{};

  const platform::Preferences preferences;
  QW::GlobalSettings::oscBasePort.store(
      preferences.readNumber(QW::kPrefOscBasePort, QW::kDefaultOscBasePort));
  QW::GlobalSettings::oscOpenToNetwork.store(preferences.readNumber(QW::kPrefOscOpenToNetwork, 0) !=
                                             0);

  uint32_t count = 0;
  const ParamSpec* rows = nullptr;
  GetProperty(kQwkProperty_ParameterCount, 0, 0, &count);
  GetProperty(kQwkProperty_ParameterTable, 0, 0, &rows);
  lua_->SetParameterTable(count, rows);
  // An offline render must not depend on how fast the machine renders, so
  // there the scripts' clock follows the audio. It is decided before the
  // scripts run, since they may start timers as they load.
  if (callHost(vst::audioMasterGetCurrentProcessLevel) == vst::kVstProcessLevelOffline)
    lua_->FollowAudioTime();

  osc_->Init();
  osc_->StartThreads();

  if (!spectralScripts_.empty()) {
    spectralScripts_.insert(spectralScripts_.begin(), SpectralScriptEntry{"Off", 0});
    table[kParamScriptIndex].maxValue = static_cast<float>(spectralScripts_.size() - 1);
    CFArray* names = CFArray::create();
    for (const SpectralScriptEntry& entry : spectralScripts_)
      names->append(CFString::create(entry.name.c_str()));
    scriptNames_.reset(names);
  }

  tables_ = std::make_unique<SpectralTables>();
  tables_->attach(context_);
}

void QwkTonalmire::ResetViewActivity() {
  for (int c = 0; c < 2; ++c) {
    rt::relaxedStore(viewState_.rawSpectrum[c], static_cast<const float*>(nullptr));
    rt::relaxedStore(viewState_.processedSpectrum[c], static_cast<const float*>(nullptr));
  }
  osc_->StopTask();
}

std::unique_ptr<AUKernelBase> QwkTonalmire::CreateKernel() {
  const auto channel = static_cast<uint32_t>(kernels().size());
  auto kernel = std::make_unique<CBrevikKernel>(this, &context_, channel);
  if (channel < 2) channelKernels_[channel] = kernel.get();
  return kernel;
}

void QwkTonalmire::resume() {
  QwkAuBase::resume();
  wantEvents(1);
}

// What the audio thread parked is written now, so a host that stops
// processing sees all of it without waiting for the housekeeping timer.
void QwkTonalmire::suspend() {
  QwkAuBase::suspend();
  if (lua_) lua_->FlushLog();
}

bool QwkTonalmire::getEffectName(char* name) {
  std::strcpy(name, kName);
  return true;
}

bool QwkTonalmire::getProductString(char* text) {
  std::strcpy(text, kName);
  return true;
}

int32_t QwkTonalmire::canDo(const char* text) {
  return text && std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
}

int32_t QwkTonalmire::processEvents(vst::VstEvents* events) {
  return lua_->ProcessEvents(events);
}

// "FFT Size" may change on several threads at once (host, OSC, a script on
// the audio thread or a timer), and a thread may store the latency of a
// size that another has just replaced. Every caller first bumps the epoch
// (which also publishes its new size); a caller that sees the epoch move
// while it worked goes round again. Sequentially consistent order between
// the epoch and the latency means the last latency stored is always one
// computed after the last size change.
void QwkTonalmire::trackLatency() {
  uint32_t seen = latencyEpoch_.fetch_add(1) + 1;
  for (;;) {
    const int32_t size = fftSizeForIndex(fftSizeIndexOf(getParameterPlain(kParamFftSize)));
    if (size != __atomic_load_n(&cEffect.initialDelay, __ATOMIC_SEQ_CST)) {
      setInitialDelay(size);
      ioChanged();
    }
    const uint32_t now = latencyEpoch_.load();
    if (now == seen) return;
    seen = now;
  }
}

void QwkTonalmire::applyOscPortOffset(bool restart) {
  const int32_t offset = truncToInt(getParameterPlain(kParamOscPortOffset));
  if (offset != 0) {
    osc_->SetPort(QW::GlobalSettings::oscBasePort.load() + offset);
    if (restart) {
      osc_->SignalReceiverStop();
      osc_->Wake();
    }
  } else {
    osc_->SetPort(0);
    osc_->SignalReceiverStop();
  }
}

void QwkTonalmire::setParameter(int32_t index, float normalized) {
  if (!validParameter(index)) return;
  QwkAuBase::setParameter(index, normalized);
  const float v = getParameterPlain(index);
  switch (index) {
    case kParamOscPortOffset:
      applyOscPortOffset(false);
      break;
    case kParamFftSize:
      trackLatency();
      break;
    // The editor's render thread reads these without a lock.
    case kParamViewXAxis:
      rt::relaxedStore(viewState_.logX, uint8_t{v == 0.0f});
      break;
    case kParamViewYAxis:
      rt::relaxedStore(viewState_.logY, uint8_t{v == 0.0f});
      break;
    case kParamViewMinDb:
      rt::relaxedStore(viewState_.minDb, v);
      break;
    case kParamViewMaxDb:
      rt::relaxedStore(viewState_.maxDb, v);
      break;
    case kParamViewMinLinear:
      rt::relaxedStore(viewState_.minLinear, v);
      break;
    case kParamViewMaxLinear:
      rt::relaxedStore(viewState_.maxLinear, v);
      break;
    case kParamViewSmoothing:
      rt::relaxedStore(viewState_.smoothing, v);
      break;
    default:
      break;
  }
  osc_->SetParamQueue(index, v);
}

void QwkTonalmire::setProgram(int32_t program) {
  rt::relaxedStore(curProgram, program);
  applyOscPortOffset(true);
  trackLatency();
}

int32_t QwkTonalmire::getChunk(void** data, bool /*isPreset*/) {
  return currentProgram()->getChunk(data);
}

int32_t QwkTonalmire::setChunk(void* data, int32_t byteSize, bool /*isPreset*/) {
  currentProgram()->setChunk(data, byteSize);
  trackLatency();
  return 1;
}

void QwkTonalmire::refreshSettings() {
  refreshKernelSettings(context_.settings, currentProgram()->valueArray());
}

void QwkTonalmire::updateMeters(uint32_t frames) {
  ::updateMeters(viewState_, channelKernels_, 2, frames, sampleRate);
}

void QwkTonalmire::processReplacing(float** inputs, float** outputs, int32_t frames) {
  if (!inputs || !outputs || frames <= 0) return;
  for (int c = 0; c < 2; ++c) {
    if (!inputs[c] || !outputs[c]) return;
  }
  const DenormalGuard denormals;

  lua_->RetryDeferredMessages();
  QW::splitBlock(
      *queue_, static_cast<uint32_t>(frames),
      [&](uint32_t offset, uint32_t chunk) { processPiece(inputs, outputs, offset, chunk); },
      [&](const QW::MessageQueueItem& message) { lua_->HandleMessage(message); });
  updateMeters(static_cast<uint32_t>(frames));
}

void QwkTonalmire::processPiece(float** inputs, float** outputs, uint32_t offset, uint32_t frames) {
  const auto run = [&](uint32_t at, uint32_t count) {
    context_.blockPosition = at;
    refreshSettings();
    QwkAuBase::processReplacing(inputs, outputs, static_cast<int32_t>(count));
  };
  if (!lua_->followsAudioTime()) {
    run(offset, frames);
    return;
  }
  // On the audio clock the piece is cut once more where timers are due, so
  // each fires exactly at its frame.
  while (frames > 0) {
    lua_->FireDueTimers();
    const uint32_t count = lua_->FramesUntilNextTimer(frames);
    run(offset, count);
    lua_->AdvanceAudioTime(count);
    offset += count;
    frames -= count;
  }
}

int32_t QwkTonalmire::GetParameterValueStrings(uint32_t scope, uint32_t parameter, CFArray** out) {
  if (scope != 0 || !out) return kAudioUnitErr_InvalidParameter;
  CFArray* list = nullptr;
  switch (parameter) {
    case kParamFftSize:
      list = fftSizeNames();
      break;
    case kParamViewXAxis:
    case kParamViewYAxis:
      list = axisNames();
      break;
    case kParamScriptIndex:
      list = scriptNames_ ? scriptNames_.get() : noScriptNames();
      break;
    case kParamScriptPosition:
      list = positionNames();
      break;
    default:
      return kAudioUnitErr_InvalidParameter;
  }
  list->retain();
  *out = list;
  return kAudioUnitNoErr;
}

int32_t QwkTonalmire::GetProperty(uint32_t property, uint32_t /*scope*/, uint32_t /*element*/,
                                  void* out) {
  switch (property) {
    case kAudioUnitProperty_SampleRate:
      storeOut(out, static_cast<double>(rt::relaxedLoad(sampleRate)));
      return kAudioUnitNoErr;
    case kAudioUnitProperty_ParameterStringFromValue: {
      auto* query = static_cast<AudioUnitParameterStringFromValue*>(out);
      if (!query) return kAudioUnitErr_InvalidParameter;
      const uint32_t id = query->inParamID;
      if (id >= static_cast<uint32_t>(kParamCount)) return kAudioUnitErr_InvalidParameter;
      const float value =
          query->inValue ? *query->inValue : getParameterPlain(static_cast<int32_t>(id));
      query->outString = nullptr;
      const char* text = nullptr;
      if (id == kParamOscPortOffset || id == kParamViewSmoothing) {
        if (value == 0.0f) text = "Off";
      } else if (id == kParamInputGain || id == kParamOutputGain) {
        if (value == -80.0f) text = "-inf";
      } else {
        return kAudioUnitErr_InvalidParameter;
      }
      if (text) {
        CFString* s = CFString::constant(text);
        s->retain();
        query->outString = s;
      }
      return kAudioUnitNoErr;
    }
    case kQwkProperty_ViewState:
      storeOut(out, ViewStateAddress());
      return kAudioUnitNoErr;
    case kQwkProperty_EditorDisplayName:
      storeOut(out, DisplayName());
      return kAudioUnitNoErr;
    case kQwkProperty_ServiceDisplayName:
      storeOut(out, ServiceDisplayName());
      return kAudioUnitNoErr;
    case kQwkProperty_ProductKey:
      storeOut(out, static_cast<const char*>(kName));
      return kAudioUnitNoErr;
    case kQwkProperty_ParameterCount:
      storeOut(out, static_cast<uint32_t>(kParamCount));
      return kAudioUnitNoErr;
    case kQwkProperty_OscPortOffset:
      storeOut(out, truncToInt(getParameterPlain(kParamOscPortOffset)));
      return kAudioUnitNoErr;
    case kQwkProperty_ParameterTable:
      storeOut(out, static_cast<const ParamSpec*>(table.data()));
      return kAudioUnitNoErr;
    case kQwkProperty_Reserved64011:
      storeOut(out, static_cast<void*>(nullptr));
      return kAudioUnitNoErr;
    default:
      return kAudioUnitErr_InvalidProperty;
  }
}

int32_t QwkTonalmire::GetPropertyInfo(uint32_t property, uint32_t /*scope*/, uint32_t /*element*/,
                                      uint32_t* size, bool* writable) {
  uint32_t bytes = 0;
  bool canWrite = false;
  switch (property) {
    case kAudioUnitProperty_SampleRate:
    case kQwkProperty_ViewState:
    case kQwkProperty_EditorDisplayName:
    case kQwkProperty_ServiceDisplayName:
    case kQwkProperty_ProductKey:
    case kQwkProperty_Reserved64005:
    case kQwkProperty_Reserved64006:
    case kQwkProperty_ParameterTable:
    case kQwkProperty_Reserved64011:
      bytes = 8;
      break;
    case kAudioUnitProperty_ParameterStringFromValue:
      bytes = 24;
      break;
    case kQwkProperty_ParameterCount:
    case kQwkProperty_OscPortOffset:
      bytes = 4;
      break;
    case kQwkProperty_Reserved64008:
      bytes = 1;
      canWrite = true;
      break;
    case kQwkProperty_Reserved64013:
      bytes = 1;
      break;
    default:
      return kAudioUnitErr_InvalidProperty;
  }
  if (size) *size = bytes;
  if (writable) *writable = canWrite;
  return kAudioUnitNoErr;
}
