#include "tools/host/ParameterValueSearch.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

#include "tools/host/HostError.h"

namespace vhost {
namespace {

// Enough to meet every step of a stepped parameter with up to a few hundred
// steps; numbers between two of them are then found by bisection.
constexpr int kGridSteps = 512;
constexpr int kBisections = 24;

std::string folded(const std::string& text) {
  std::string out;
  for (const unsigned char c : text)
    if (!std::isspace(c)) out += static_cast<char>(std::tolower(c));
  return out;
}

struct NumberAndUnit {
  double number;
  std::string unit;  // folded; empty when none was written
  double halfStep;   // half a unit of the last digit written
};

std::optional<NumberAndUnit> splitNumber(const std::string& text) {
  const char* begin = text.c_str();
  while (std::isspace(static_cast<unsigned char>(*begin))) ++begin;
  char* end = nullptr;
  const double number = std::strtod(begin, &end);
  if (end == begin || std::isnan(number)) return std::nullopt;
  const std::string digits(begin, static_cast<const char*>(end));
  const size_t point = digits.find('.');
  int decimals = 0;
  if (point != std::string::npos)
    while (point + 1 + decimals < digits.size() &&
           std::isdigit(static_cast<unsigned char>(digits[point + 1 + decimals])))
      ++decimals;
  return NumberAndUnit{number, folded(end), 0.5 * std::pow(10.0, -decimals)};
}

struct Probe {
  float asked;
  float normalized;     // as the plug-in keeps it, which may snap to a step
  std::string display;  // as shown
  std::optional<NumberAndUnit> number;
};

class Prober {
 public:
  Prober(PluginInstance& plugin, int32_t index)
      : plugin_(plugin),
        index_(index),
        original_(plugin.parameter(index)),
        label_(plugin.parameterLabel(index)) {}
  ~Prober() { plugin_.setParameter(index_, original_); }
  Prober(const Prober&) = delete;
  Prober& operator=(const Prober&) = delete;

  Probe at(float normalized) {
    plugin_.setParameter(index_, normalized);
    Probe probe{normalized, plugin_.parameter(index_), plugin_.parameterDisplay(index_),
                std::nullopt};
    probe.number = splitNumber(probe.display);
    return probe;
  }
  std::string shown(const Probe& probe) const {
    return label_.empty() ? probe.display : probe.display + " " + label_;
  }
  const std::string& label() const { return label_; }

 private:
  PluginInstance& plugin_;
  const int32_t index_;
  const float original_;
  const std::string label_;
};

std::string formatNumber(double number) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", number);
  return text;
}

}  // namespace

FoundValue findDisplayedValue(PluginInstance& plugin, int32_t index, const std::string& name,
                              const std::string& typed) {
  Prober prober(plugin, index);
  std::vector<Probe> grid;
  grid.reserve(kGridSteps + 1);
  for (int i = 0; i <= kGridSteps; ++i)
    grid.push_back(prober.at(static_cast<float>(i) / kGridSteps));

  const std::string wanted = folded(typed);
  for (const Probe& probe : grid)
    if (folded(probe.display) == wanted || folded(prober.shown(probe)) == wanted)
      return {probe.normalized, prober.shown(probe)};

  std::optional<NumberAndUnit> number = splitNumber(typed);
  if (number && !std::isfinite(number->number)) number.reset();
  const std::string refusal =
      "the value for '" + name +
      "' must be a normalized number from 0 to 1 or a value it displays, not '" + typed + "'";
  if (!number) throw usageError(refusal);
  if (!number->unit.empty()) {
    const std::string label = folded(prober.label());
    bool known = number->unit == label;
    for (const Probe& probe : grid)
      known = known || (probe.number && probe.number->unit == number->unit);
    if (!known)
      throw usageError("'" + name + "' is shown in " +
                       (prober.label().empty() ? "no unit" : "'" + prober.label() + "'") +
                       ", not '" + typed + "'");
  }

  size_t best = grid.size();
  double low = HUGE_VAL, high = -HUGE_VAL;
  for (size_t i = 0; i < grid.size(); ++i) {
    if (!grid[i].number) continue;
    const double shownNumber = grid[i].number->number;
    low = std::fmin(low, shownNumber);
    high = std::fmax(high, shownNumber);
    if (best == grid.size() || std::fabs(shownNumber - number->number) <
                                   std::fabs(grid[best].number->number - number->number))
      best = i;
  }
  if (best == grid.size()) throw usageError(refusal);
  if (number->number < low || number->number > high)
    throw usageError("'" + name + "' shows values from " + formatNumber(low) + " to " +
                     formatNumber(high) + ", not " + formatNumber(number->number));

  // Between the nearest point and the neighbour on the far side of the
  // typed number, the displayed number is taken to run one way.
  Probe chosen = grid[best];
  for (const int side : {-1, 1}) {
    const long other = static_cast<long>(best) + side;
    if (other < 0 || other >= static_cast<long>(grid.size()) || !grid[other].number) continue;
    // Bisection keeps a (normalized, displayed number) pair at each end.
    float aAt = grid[best].asked, bAt = grid[other].asked;
    const double aOff = grid[best].number->number - number->number;
    if (aOff * (grid[other].number->number - number->number) > 0.0) continue;
    for (int i = 0; i < kBisections; ++i) {
      const Probe middle = prober.at(0.5f * (aAt + bAt));
      if (!middle.number) break;
      const double off = middle.number->number - number->number;
      if (std::fabs(off) < std::fabs(chosen.number->number - number->number)) chosen = middle;
      if (off * aOff > 0.0)
        aAt = middle.asked;
      else
        bAt = middle.asked;
    }
  }
  // A display shows its value only to its last digit, so a typed number
  // matches when it rounds to what is shown.
  if (std::fabs(chosen.number->number - number->number) > chosen.number->halfStep * 1.0001)
    throw usageError("'" + name + "' shows no " + formatNumber(number->number) +
                     " (nearest: " + prober.shown(chosen) + ")");
  return {chosen.normalized, prober.shown(chosen)};
}

}  // namespace vhost
