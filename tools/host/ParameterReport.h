// How parameters are shown: an aligned table for people, objects for JSON.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/host/JsonWriter.h"
#include "tools/host/Parameters.h"

namespace vhost {

// Every parameter whose name contains `match` in any case (all when empty).
std::vector<ParameterInfo> listParameters(PluginInstance& plugin, const std::string& match);

void printParameterTable(std::ostream& out, const std::vector<ParameterInfo>& parameters);
void writeParameter(JsonWriter& json, const ParameterInfo& parameter);
void writeParameterArray(JsonWriter& json, const std::string& key,
                         const std::vector<ParameterInfo>& parameters);

// One line per assignment; a long range is summarised rather than listed.
void printAssignments(std::ostream& out, PluginInstance& plugin,
                      const std::vector<Assignment>& assignments);
// The parameters the assignments touched, as they read back now.
std::vector<ParameterInfo> assignedParameters(PluginInstance& plugin,
                                              const std::vector<Assignment>& assignments);

}  // namespace vhost
