#include <string>

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
  QW::OvDropDown* d = fftSize(10, 100);
  const std::vector<std::string> expected{"32", "64", "128", "256", "512", "1024", "2048", "4096"};
  EXPECT_EQ(d->items(), expected);
  EXPECT_FALSE(d->isOpen());
  EXPECT_EQ(d->highlighted(), -1);

  // A parameter without value names has an empty list and opens no list.
  auto* gain = manager->create<QW::DropDown>(kParamInputGain, 10.0f, 10.0f, 50.0f, 12.0f);
  EXPECT_TRUE(gain->items().empty());
  gain->mouseDown({20, 15}, 0, 1);
  EXPECT_FALSE(gain->isOpen());
  gain->mouseUp({20, 15}, 0);
  EXPECT_EQ(plain(kParamInputGain), 0.0f);
}

TEST_F(DropDownTest, ListOpensWithTheCurrentItemOverTheControl) {
  QW::OvDropDown* d = fftSize(10, 200);  // FFT Size is 5 ("1024")
  d->mouseDown({20, 205}, 0, 1);
  ASSERT_TRUE(d->isOpen());
  EXPECT_EQ(d->highlighted(), 5);
  const QW::Bounds list = d->listBounds();
  EXPECT_FLOAT_EQ(list.minX, 10.0f);
  EXPECT_FLOAT_EQ(list.maxX, 60.0f);
  // Two items below the current one.
  EXPECT_FLOAT_EQ(list.minY, 200.0f - 2 * 12.0f);
  EXPECT_FLOAT_EQ(list.maxY, 200.0f - 2 * 12.0f + 8 * 12.0f);
}

TEST_F(DropDownTest, ListIsShiftedToStayInsideTheWindow) {
  QW::OvDropDown* top = fftSize(10, 495);
  top->mouseDown({20, 500}, 0, 1);
  EXPECT_FLOAT_EQ(top->listBounds().maxY, 512.0f);
  EXPECT_FLOAT_EQ(top->listBounds().minY, 512.0f - 96.0f);
  top->mouseUp({20, 500}, 0);

  setPlain(kParamFftSize, 0.0f);
  QW::OvDropDown* bottom = fftSize(10, 20);
  bottom->mouseDown({20, 25}, 0, 1);
  EXPECT_FLOAT_EQ(bottom->listBounds().minY, 0.0f);
  EXPECT_FLOAT_EQ(bottom->listBounds().maxY, 96.0f);
}

TEST_F(DropDownTest, ReleaseInsideTheListChoosesTheHighlightedItem) {
  QW::OvDropDown* d = fftSize(10, 495);  // list from 416 to 512
  d->mouseDown({20, 500}, 0, 1);
  // Rows run from the top: item 2 is the third row down, 476..488.
  d->mouseDragged({30, 480}, 0);
  EXPECT_EQ(d->highlighted(), 2);
  d->mouseDragged({30, 512}, 0);  // the top edge belongs to item 0
  EXPECT_EQ(d->highlighted(), 0);
  d->mouseDragged({30, 416}, 0);  // and the bottom edge to the last item
  EXPECT_EQ(d->highlighted(), 7);
  d->mouseDragged({30, 480}, 0);
  d->mouseDragged({200, 300}, 0);  // outside: the highlight stays
  EXPECT_EQ(d->highlighted(), 2);
  d->mouseDragged({30, 480}, 0);
  d->mouseUp({30, 480}, 0);
  EXPECT_EQ(plain(kParamFftSize), 2.0f);
  EXPECT_FALSE(d->isOpen());
  EXPECT_EQ(d->highlighted(), -1);
  ASSERT_EQ(edits.size(), 2u);
  EXPECT_TRUE(edits[0].begin);
  EXPECT_FALSE(edits[1].begin);
  EXPECT_EQ(edits[1].index, kParamFftSize);
  // The choice reached the host inside the bracket.
  EXPECT_EQ(edits[1].automatedBefore, edits[0].automatedBefore + 1);
}

TEST_F(DropDownTest, ReleaseOutsideTheListKeepsTheValue) {
  QW::OvDropDown* d = fftSize(10, 200);
  d->mouseDown({20, 205}, 0, 1);
  d->mouseDragged({30, 180}, 0);
  EXPECT_EQ(d->highlighted(), 7);
  d->mouseUp({60, 180}, 0);  // the right edge is already outside
  EXPECT_EQ(plain(kParamFftSize), 5.0f);
  EXPECT_FALSE(d->isOpen());
  EXPECT_EQ(automated(), 0);
  EXPECT_EQ(manager->editedParameter(), -1);
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
  EXPECT_EQ(d->highlighted(), 6);
  d->mouseUp({30, 92}, 0);
  EXPECT_EQ(plain(kParamFftSize), 6.0f);
}

// An effect whose "Scripted 1" offers an overlong value name.
class LongNameEffect : public QwkTonalmire {
 public:
  LongNameEffect() : QwkTonalmire(RecordingHost::callback()) {
    const std::string longName(200, 'x');
    const char* texts[] = {longName.c_str(), "short"};
    names_.reset(CFArray::createWithStrings(texts, 2));
  }
  int32_t GetParameterValueStrings(uint32_t scope, uint32_t parameter, CFArray** out) override {
    if (parameter != kParamScripted1)
      return QwkTonalmire::GetParameterValueStrings(scope, parameter, out);
    names_->retain();
    *out = names_.get();
    return 0;
  }
  uint32_t references() const { return names_->retainCount(); }

 private:
  CFRef<CFArray> names_;
};

TEST_F(DropDownTest, LongItemNamesAreCutAndTheListIsReleased) {
  LongNameEffect longNames;
  QW::Manager other(&longNames);
  auto* d = other.create<QW::OvDropDown>(kParamScripted1, 0.0f, 0.0f, 50.0f, 12.0f);
  ASSERT_EQ(d->items().size(), 2u);
  EXPECT_EQ(d->items()[0], std::string(127, 'x'));
  EXPECT_EQ(d->items()[1], "short");
  EXPECT_EQ(longNames.references(), 1u);
}

}  // namespace
