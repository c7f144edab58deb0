#include <string>
#include <vector>

#include "core/CFTypes.h"
#include "gui/ControlFixture.h"
#include "gui/DropDown.h"

namespace {

class DropDownTest : public ControlFixture {
 protected:
  QW::OvDropDown* fftSize(float x, float y) {
    return manager->create<QW::OvDropDown>(kParamFftSize, x, y, 50.0f, 12.0f);
  }
};

TEST_F(DropDownTest, ItemsAreTheParameterValueNames) {
  EXPECT_EQ(fftSize(10, 100)->items(),
            (std::vector<std::string>{"32", "64", "128", "256", "512", "1024", "2048", "4096"}));
  // A parameter without value names opens no list.
  auto* gain = manager->create<QW::DropDown>(kParamInputGain, 10.0f, 10.0f, 50.0f, 12.0f);
  gain->mouseDown({20, 15}, 0, 1);
  EXPECT_FALSE(gain->isOpen());
}

// The list opens with the current item over the control, shifted to stay
// inside the window; rows run from the top, its edges belong to the first
// and last items, and the release picks the highlighted item inside it.
TEST_F(DropDownTest, ListOpensOverTheControlAndTheReleaseInsideChooses) {
  const struct {
    float y, start;
    std::vector<QW::Point> drags;  // the last one is where the release comes
    float listMinY, listMaxY;
    int highlighted;
    float chosen;
  } cases[] = {
      {200, 5, {{30, 180}, {60, 180}}, 176, 272, 7, 5},  // the right edge is outside
      {495, 5, {{30, 480}, {30, 512}, {30, 416}, {30, 480}, {200, 300}, {30, 480}}, 416, 512, 2, 2},
      {20, 0, {{30, 90}}, 0, 96, 0, 0},
  };
  for (const auto& c : cases) {
    setPlain(kParamFftSize, c.start);
    QW::OvDropDown* d = fftSize(10, c.y);
    d->mouseDown({20, c.y + 5}, 0, 1);
    EXPECT_EQ(d->listBounds().minY, c.listMinY) << c.y;
    EXPECT_EQ(d->listBounds().maxY, c.listMaxY) << c.y;
    for (const QW::Point& p : c.drags) d->mouseDragged(p, 0);
    EXPECT_EQ(d->highlighted(), c.highlighted) << c.y;
    d->mouseUp(c.drags.back(), 0);
    EXPECT_FALSE(d->isOpen());
    EXPECT_EQ(plain(kParamFftSize), c.chosen) << c.y;
    EXPECT_EQ(manager->editedParameter(), -1);
  }
}

TEST_F(DropDownTest, ListInsideAGroupWorksInTheParentsCoordinates) {
  QW::Group* group = manager->create<QW::Group>();
  group->setPosition(300, 100);
  QW::OvDropDown* d = fftSize(10, 100);
  group->add(d);
  d->mouseDown({20, 105}, 0, 1);
  EXPECT_FLOAT_EQ(d->listBounds().minX, 310.0f);
  EXPECT_FLOAT_EQ(d->listBounds().minY, 200.0f - 24.0f);
  // Points come in group coordinates: the list spans 76..172 there, row 6 88..100.
  d->mouseDragged({30, 92}, 0);
  d->mouseUp({30, 92}, 0);
  EXPECT_EQ(plain(kParamFftSize), 6.0f);
}

}  // namespace
