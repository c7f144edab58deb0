// Parameters as a user names them: by exact name, by name in any case, or
// by index, singly or as an inclusive range "FIRST..LAST". Values are the
// plug-in interface's normalized 0..1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/PluginInstance.h"

namespace vhost {

struct ParameterInfo {
  int32_t index = 0;
  std::string name;
  std::string label;
  std::string display;
  float value = 0.0f;
};

ParameterInfo describeParameter(PluginInstance& plugin, int32_t index);

struct ParameterRange {
  int32_t first;
  int32_t last;  // inclusive
};

class ParameterNames {
 public:
  explicit ParameterNames(PluginInstance& plugin);

  // Exact name first, then the same name in any case, then an index.
  // Throws HostError naming what could not be found.
  int32_t resolve(const std::string& nameOrIndex) const;
  // The same, but answers false instead of throwing when nothing matches.
  bool tryResolve(const std::string& nameOrIndex, int32_t& index) const;
  // One parameter, or an inclusive range "FIRST..LAST" of them.
  ParameterRange resolveRange(const std::string& text) const;
  int32_t count() const { return static_cast<int32_t>(names_.size()); }
  const std::string& name(int32_t index) const { return names_[static_cast<size_t>(index)]; }
  PluginInstance& plugin() const { return plugin_; }

 private:
  PluginInstance& plugin_;
  std::vector<std::string> names_;
};

struct Assignment {
  int32_t first = 0;
  int32_t last = 0;  // inclusive; equals `first` for a single parameter
  float value = 0.0f;
  // For a value typed as the plug-in displays it, the normalized value
  // found for each parameter of the range in turn (`value` is the first's).
  std::vector<float> found;
};

// "NAME=VALUE" or "FIRST..LAST=VALUE". VALUE is normalized 0..1, or else a
// value as the plug-in displays it (see ParameterValueSearch.h); then the
// normalized value chosen is said on stderr.
Assignment parseAssignment(const std::string& text, const ParameterNames& names);
// Parses every assignment before any is applied, so a typo in the last one
// leaves the plug-in untouched.
std::vector<Assignment> parseAssignments(const std::vector<std::string>& texts,
                                         const ParameterNames& names);
void applyAssignments(PluginInstance& plugin, const std::vector<Assignment>& assignments);

}  // namespace vhost
