// Turns the host's dispatcher opcodes 0 to 24 and the record's function
// pointers into virtual operations.
#pragma once

#include <cstdint>
#include <memory>

#include "core/AEffEditor.h"
#include "core/RelaxedAtomic.h"
#include "core/VstAbi.h"

class AudioEffect {
 public:
  AudioEffect(vst::HostCallback audioMaster, int32_t numPrograms, int32_t numParams);
  virtual ~AudioEffect();
  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}
  // The editor's render thread reads the rate (bin frequencies in tooltips)
  // while the host may set it.
  virtual void setSampleRate(float rate) { rt::relaxedStore(sampleRate, rate); }
  virtual void setBlockSize(int32_t size) { blockSize = size; }
  virtual void processReplacing(float** inputs, float** outputs, int32_t frames);
  virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                      int32_t /*frames*/) {}
  virtual void setParameter(int32_t /*index*/, float /*value*/) {}
  virtual float getParameter(int32_t /*index*/) { return 0.0f; }
  virtual void setParameterAutomated(int32_t index, float value);
  virtual int32_t getProgram() { return rt::relaxedLoad(curProgram); }
  virtual void setProgram(int32_t program) { rt::relaxedStore(curProgram, program); }
  virtual void setProgramName(char* /*name*/) {}
  virtual void getProgramName(char* name) { *name = '\0'; }
  virtual void getParameterLabel(int32_t /*index*/, char* label) { *label = '\0'; }
  virtual void getParameterDisplay(int32_t /*index*/, char* text) { *text = '\0'; }
  virtual void getParameterName(int32_t /*index*/, char* text) { *text = '\0'; }
  virtual int32_t getChunk(void** data, bool /*isPreset*/) {
    *data = nullptr;
    return 0;
  }
  virtual int32_t setChunk(void* /*data*/, int32_t /*byteSize*/, bool /*isPreset*/) { return 0; }
  virtual void setUniqueID(int32_t id) { cEffect.uniqueID = id; }
  virtual void setNumInputs(int32_t inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(int32_t outputs) { cEffect.numOutputs = outputs; }
  virtual void canProcessReplacing(bool state = true) { setFlag(vst::effFlagsCanReplacing, state); }
  virtual void canDoubleReplacing(bool state = true) {
    setFlag(vst::effFlagsCanDoubleReplacing, state);
  }
  virtual void programsAreChunks(bool state = true) { setFlag(vst::effFlagsProgramChunks, state); }
  // Hosts read the latency from the record on their own threads; the
  // effect orders its latency updates against each other (sequentially
  // consistent, see QwkTonalmire::trackLatency).
  virtual void setInitialDelay(int32_t delay) {
    __atomic_store_n(&cEffect.initialDelay, delay, __ATOMIC_SEQ_CST);
  }
  virtual AEffEditor* getEditor() { return editor.get(); }
  virtual vst::AEffect* getAeffect() { return &cEffect; }
  virtual float getSampleRate() { return rt::relaxedLoad(sampleRate); }
  virtual int32_t getBlockSize() { return blockSize; }
  virtual int32_t getMasterVersion();
  virtual int32_t getCurrentUniqueId();
  virtual void masterIdle();
  virtual bool isInputConnected(int32_t /*input*/) { return true; }
  virtual bool isOutputConnected(int32_t /*output*/) { return true; }
  virtual void process(float** /*inputs*/, float** /*outputs*/, int32_t /*frames*/) {}
  virtual float getVu() { return 0.0f; }
  virtual void hasVu(bool state = true) { setFlag(vst::effFlagsHasVu, state); }
  virtual void hasClip(bool state = true) { setFlag(vst::effFlagsHasClip, state); }
  virtual void canMono(bool state = true) { setFlag(vst::effFlagsCanMono, state); }
  virtual void setRealtimeQualities(int32_t qualities) { cEffect.realQualities = qualities; }
  virtual void setOfflineQualities(int32_t qualities) { cEffect.offQualities = qualities; }

  // Takes ownership; the effect deletes its editor when it goes.
  void setEditor(std::unique_ptr<AEffEditor> newEditor);
  vst::HostCallback hostCallback() const { return audioMaster; }
  intptr_t callHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  int32_t numParameters() const { return numParams; }

 protected:
  void setFlag(int32_t flag, bool state) {
    cEffect.flags = state ? (cEffect.flags | flag) : (cEffect.flags & ~flag);
  }
  bool validParameter(int32_t index) const { return index >= 0 && index < numParams; }
  void destroyEditor() { editor.reset(); }

  vst::HostCallback audioMaster;
  std::unique_ptr<AEffEditor> editor;
  float sampleRate = 44100.0f;
  int32_t blockSize = 1024;
  int32_t numPrograms;
  int32_t numParams;
  // Read by every thread that reaches a parameter value; the host's
  // thread changes it.
  int32_t curProgram = 0;
  vst::AEffect cEffect{};
};
