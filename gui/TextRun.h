// A cached line of text: laid out again only when its text or position
// changes. Every run registers with its manager's registry, which clears
// them all when the GL context goes away (their glyph atlas goes with it).
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace QW {

class Font;
class TextRun;

class TextRunRegistry {
 public:
  void add(TextRun* run);
  void remove(TextRun* run);
  // Clears the text of every registered run.
  void clearAll();

 private:
  std::mutex mutex_;
  std::vector<TextRun*> runs_;
};

class TextRun {
 public:
  explicit TextRun(TextRunRegistry* registry);
  ~TextRun();
  TextRun(const TextRun&) = delete;
  TextRun& operator=(const TextRun&) = delete;

  // Lays the text out unless it and the position are unchanged; answers the
  // pen's end x. Without a font: the cached end x.
  float set(Font* font, const std::string& text, float x, float y);
  // Draws the quads in the current colour (render thread).
  void draw(Font* font) const;
  void clear();

  const std::string& text() const { return text_; }
  float endX() const { return endX_; }
  // How many times the text was laid out (for tests).
  int layouts() const { return layouts_; }

 private:
  TextRunRegistry* registry_;
  std::string text_;
  float x_ = 0.0f;
  float y_ = 0.0f;
  float endX_ = 0.0f;
  const Font* font_ = nullptr;
  bool laidOut_ = false;
  int layouts_ = 0;
  std::vector<float> vertices_;
};

// Draws interleaved s, t, x, y, z quads with a font's atlas (shared by runs
// and batches).
void drawTextQuads(Font* font, const float* vertices, int vertexCount);

}  // namespace QW
