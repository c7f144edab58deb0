// A batch of text runs drawn with one font and one texture bind: the
// banner, group titles and button captions.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "gui/Effect.h"

namespace QW {

class Font;
class Manager;

class StaticText : public Effect {
 public:
  enum FontChoice { kMainFont = 0, kLabelFont = 1 };

  StaticText(Manager* manager, FontChoice font);

  // colour points to four floats the caller owns (animated colours need no
  // update). Answers the run's index.
  int addRun(const std::string& text, float x, float y, const float* colour);
  void setRunVisible(int run, bool visible);
  bool runVisible(int run) const;
  // Removes every run (their indices are no longer valid).
  void clear();
  size_t runCount() const { return runs_.size(); }
  const std::string& runText(int run) const { return runs_[static_cast<size_t>(run)].text; }

  void draw() override;
  void releaseRendering() override { clear(); }

 private:
  struct Run {
    std::string text;
    const float* colour;
    float x;
    float y;
    int firstVertex;
    int vertexCount;
    bool visible;
  };

  Font* font() const;
  // Lays every run out into the one vertex buffer.
  void rebuild(const Font& font);

  Manager* manager_;
  FontChoice fontChoice_;
  std::vector<Run> runs_;
  std::vector<float> vertices_;
  bool dirty_ = true;
};

}  // namespace QW
