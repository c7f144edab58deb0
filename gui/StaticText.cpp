#include "gui/StaticText.h"

#include <GL/glew.h>

#include "gui/Font.h"
#include "gui/Manager.h"
#include "gui/TextQuadDrawing.h"

namespace QW {

namespace {
constexpr size_t kFloatsPerVertex = 5;
}

StaticText::StaticText(Manager* manager, FontChoice font) : manager_(manager), fontChoice_(font) {}

int StaticText::addRun(const std::string& text, float x, float y, const float* colour) {
  runs_.push_back({text, colour, x, y, 0, 0, true});
  dirty_ = true;
  return static_cast<int>(runs_.size()) - 1;
}

void StaticText::setRunVisible(int run, bool visible) {
  if (run >= 0 && static_cast<size_t>(run) < runs_.size())
    runs_[static_cast<size_t>(run)].visible = visible;
}

bool StaticText::runVisible(int run) const {
  return run >= 0 && static_cast<size_t>(run) < runs_.size() &&
         runs_[static_cast<size_t>(run)].visible;
}

void StaticText::clear() {
  runs_.clear();
  vertices_.clear();
  dirty_ = true;
}

Font* StaticText::font() const {
  if (!manager_) return nullptr;
  return fontChoice_ == kMainFont ? manager_->mainFont() : manager_->labelFont();
}

void StaticText::rebuild(const Font& font) {
  vertices_.clear();
  for (Run& run : runs_) {
    run.firstVertex = static_cast<int>(vertices_.size() / kFloatsPerVertex);
    font.layout(run.text, run.x, run.y, vertices_);
    run.vertexCount = static_cast<int>(vertices_.size() / kFloatsPerVertex) - run.firstVertex;
  }
  dirty_ = false;
}

void StaticText::draw() {
  Font* const batchFont = font();
  if (!batchFont || runs_.empty()) return;
  if (dirty_) rebuild(*batchFont);
  const TextQuadDrawing drawing(batchFont);
  if (!drawing.ready()) return;
  for (const Run& run : runs_) {
    if (!run.visible || run.vertexCount <= 0) continue;
    if (run.colour) glColor4fv(run.colour);
    drawing.draw(vertices_.data(), run.firstVertex, run.vertexCount);
  }
}

}  // namespace QW
