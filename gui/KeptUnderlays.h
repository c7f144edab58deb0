// Pixels of the window as they stood at one point of a whole frame's
// drawing: below an element that is drawn again and again over pixels that
// stay (the spectra over the display's backing box). A frame that redraws
// only a part within them puts them back with one copy instead of drawing
// everything below again. Render thread only, with the window's context
// current.
#pragma once

#include <vector>

#include "gui/FramePart.h"

namespace QW {

class KeptUnderlays {
 public:
  // A whole frame starts: whatever was kept may be out of date.
  void beginWholeFrame();
  // Drops the records of owners that did not mark in the whole frame just
  // drawn (hidden or gone).
  void endWholeFrame();
  // In a whole frame: owner's pixels lie in rect; copied when copy is set.
  // Nothing is recorded where the driver cannot copy them.
  void mark(const void* owner, PixelRect rect, bool copy);
  // The owner whose marked pixels contain part, or null; kept is set when
  // they were copied and can be put back.
  const void* containing(PixelRect part, bool& kept) const;
  // Puts owner's kept pixels back (under the scissor as it is set).
  void restore(const void* owner) const;
  // Deletes the GL objects, with the context current.
  void release();
  // Forgets them: the context that held them is gone.
  void forget() { underlays_.clear(); }

 private:
  struct Underlay {
    const void* owner = nullptr;
    PixelRect rect;
    bool marked = false;
    bool kept = false;
    unsigned int texture = 0;
    unsigned int framebuffer = 0;
    Size size;
  };
  bool copy(Underlay& underlay);

  std::vector<Underlay> underlays_;
};

}  // namespace QW
