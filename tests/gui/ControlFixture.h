// A real effect with an editor manager that has no window: elements are
// driven directly, parameter values read back from the effect and the
// host's edit bracket recorded in order.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "core/VstAbi.h"
#include "gui/Manager.h"
#include "support/RecordingHost.h"

class ControlFixture : public ::testing::Test {
 protected:
  // One step of the host's edit bracket, with how many automation changes
  // the host had seen when it came.
  struct EditCall {
    bool begin;
    int32_t index;
    int automatedBefore;
    bool operator==(const EditCall& o) const {
      return begin == o.begin && index == o.index && automatedBefore == o.automatedBefore;
    }
  };

  void SetUp() override {
    manager = std::make_unique<QW::Manager>(effect.get());
    manager->setWindowSize({1024, 512});
    manager->computeViewGeometry();
    QW::Manager::PlatformCallbacks callbacks;
    callbacks.beginEdit = [this](int32_t i) { edits.push_back({true, i, automated()}); };
    callbacks.endEdit = [this](int32_t i) { edits.push_back({false, i, automated()}); };
    manager->setPlatform(nullptr, std::move(callbacks));
  }

  float plain(int32_t index) const { return effect->getParameterPlain(index); }
  void setPlain(int32_t index, float value) { effect->setParameterPlain(index, value, false); }
  int automated() const { return host.count(vst::audioMasterAutomate); }
  // The last automated value the host saw for index (normalised), -1 if none.
  float lastAutomated(int32_t index) const {
    float value = -1.0f;
    for (const HostCall& call : host.calls(vst::audioMasterAutomate))
      if (call.index == index) value = call.opt;
    return value;
  }

  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
  // Before the manager: a manager closed in the middle of a gesture ends it
  // on its way out, and that call is recorded here.
  std::vector<EditCall> edits;
  std::unique_ptr<QW::Manager> manager;
};
