// The manager's input handling without a display: hover tracking, gestures,
// resizing, the edit bracket, key focus and tooltips, seen through elements
// that only record what reaches them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "gui/Manager.h"
#include "gui/ViewGeometry.h"
#include "support/RecordingHost.h"
#include "support/ScopedEnv.h"

namespace {

using Log = std::vector<std::string>;

// An element (or group) with a box that writes every call it gets into a log.
template <class Base>
class Recording : public Base {
 public:
  Recording(QW::Manager* manager, std::string name, Log* log)
      : Base(manager), name_(std::move(name)), log_(log) {}
  void mouseDown(QW::Point p, uint32_t modifiers, int clicks) override {
    write("down " + text(p) + " m" + std::to_string(modifiers) + " c" + std::to_string(clicks));
    if (editParameter >= 0) this->manager_->beginParameterEdit(editParameter);
  }
  void mouseDragged(QW::Point p, uint32_t modifiers) override {
    write("drag " + text(p) + " m" + std::to_string(modifiers));
  }
  void mouseUp(QW::Point p, uint32_t modifiers) override {
    write("up " + text(p) + " m" + std::to_string(modifiers));
  }
  void mouseEntered() override { write("enter"); }
  void mouseExited() override { write("exit"); }
  bool keyPressed(int key) override {
    write("key " + std::to_string(key));
    return true;
  }
  void focusLost(QW::UIElement* newFocus) override {
    const auto* other = dynamic_cast<Recording*>(newFocus);
    write("focusLost to " + (other ? other->name_ : std::string("nobody")));
  }

  // When set, a press begins an edit of this parameter (as controls do).
  int32_t editParameter = -1;

 private:
  static std::string text(QW::Point p) {
    char s[48];
    std::snprintf(s, sizeof s, "%g,%g", p.x, p.y);
    return s;
  }
  void write(const std::string& what) { log_->push_back(name_ + " " + what); }

  std::string name_;
  Log* log_;
};
using RecordingElement = Recording<QW::ControlBase>;
using RecordingGroup = Recording<QW::Group>;

// A window that only remembers what the manager asked of it.
class FakeBridge : public QW::ManagerPlatformBridge {
 public:
  explicit FakeBridge(std::vector<QW::Size>& sizes, int& height) : sizes_(sizes), height_(height) {}
  bool createContext() override { return false; }
  bool makeCurrent() override { return false; }
  void destroyContexts() override {}
  void swapBuffers() override {}
  void takeFocus() override {}
  void setWindowSize(int width, int height) override {
    sizes_.push_back({width, height});
    height_ = height;
  }
  int windowHeight() override { return height_; }

 private:
  std::vector<QW::Size>& sizes_;
  int& height_;
};

class ManagerInput : public ::testing::Test {
 protected:
  void SetUp() override {
    manager->setWindowSize({1024, 512});
    manager->computeViewGeometry();
    QW::Manager::PlatformCallbacks callbacks;
    callbacks.beginEdit = [this](int32_t i) { edits.push_back("begin " + std::to_string(i)); };
    callbacks.endEdit = [this](int32_t i) { edits.push_back("end " + std::to_string(i)); };
    callbacks.setCapture = [this] { ++captures; };
    callbacks.releaseCapture = [this] { --captures; };
    manager->setPlatform(std::make_unique<FakeBridge>(sizes, height), std::move(callbacks));
  }

  template <class T = RecordingElement>
  T* element(const std::string& name, QW::Bounds b, QW::Group* parent = nullptr) {
    auto* e = manager->create<T>(name, &log);
    if (!b.empty()) e->setBounds(b);
    (parent ? parent : manager->root())->add(e);
    return e;
  }
  void click(QW::Point p) {
    manager->mouseDown(p, 0, 1);
    manager->mouseUp(p, 0);
  }
  // The log since the last call.
  Log take() { return std::exchange(log, {}); }

  std::vector<QW::Size> sizes;
  int height = 512;
  // Before the manager, whose destructor may still end an edit.
  Log log;
  std::vector<std::string> edits;
  int captures = 0;
  const ScopedEnv noPreferences{"XDG_CONFIG_HOME", "/nonexistent-veldrana-test"};
  RecordingHost host;
  QwkTonalmire effect{RecordingHost::callback()};
  std::unique_ptr<QW::Manager> manager = std::make_unique<QW::Manager>(&effect);
};

TEST_F(ManagerInput, HoverEntersAndExitsNestedGroupsAndElements) {
  auto* outer = element<RecordingGroup>("G", {});
  outer->setPosition(100.0f, 100.0f);
  auto* a = element("A", QW::Bounds::fromRect(0, 0, 50, 50), outer);
  element("B", QW::Bounds::fromRect(100, 0, 50, 50), outer);
  const struct {
    QW::Point at;
    Log log;
    QW::UIElement* hover;
  } moves[] = {
      {{175, 125}, {"G enter"}, outer},  // between the group's children
      {{120, 120}, {"A enter"}, a},     {{130, 130}, {}, a},
      {{175, 140}, {"A exit"}, outer},  {{700, 300}, {"G exit"}, nullptr},  // the background
  };
  for (const auto& m : moves) {
    manager->mouseMoved(m.at);
    EXPECT_EQ(take(), m.log) << m.at.x << "," << m.at.y;
    EXPECT_EQ(manager->hoverElement(), m.hover) << m.at.x << "," << m.at.y;
  }
  // Groups are hit only while tracking the pointer: a click between the
  // children hits nothing.
  click({175, 125});
  EXPECT_TRUE(take().empty());

  manager->mouseMoved({175, 125});
  manager->mouseMoved({120, 120});
  manager->setTooltipElement(a);
  take();
  QW::InputRecord left;
  left.kind = QW::InputRecord::Kind::kPointerLeft;
  EXPECT_TRUE(manager->dispatch(left));
  Log exits = take();
  std::sort(exits.begin(), exits.end());
  EXPECT_EQ(exits, (Log{"A exit", "G exit"}));
  EXPECT_EQ(manager->tooltipElement(), nullptr);
  // Mid-drag the pointer is captured: the gesture goes on outside.
  manager->mouseDown({120, 120}, 0, 1);
  manager->dispatch(left);
  manager->mouseDragged({-30, 20}, 0);
  manager->mouseUp({-30, 20}, 0);
  EXPECT_EQ(take(), (Log{"A down 20,20 m0 c1", "A drag -130,-80 m0", "A up -130,-80 m0"}));
}

TEST_F(ManagerInput, ResizeCornerKeepsTheShapeWithinTheLayerPictureAndClicksStayPut) {
  auto* group = manager->create<QW::Group>();
  manager->root()->add(group);
  group->setPosition(100.0f, 50.0f);
  element("K", QW::Bounds::fromRect(412, 206, 100, 50), group);  // 512..612, 256..306
  element("corner", QW::Bounds::fromRect(900, 0, 124, 100));
  // Just outside the triangle the element gets the press.
  click({1000, 50});
  EXPECT_EQ(take(), (Log{"corner down 1000,50 m0 c1", "corner up 1000,50 m0"}));

  manager->mouseDown({1020, 2}, 0, 1);
  EXPECT_TRUE(manager->isResizing());
  manager->mouseDragged({808, 2}, 0);  // width drives, the 2:1 shape stays
  manager->mouseDragged({1400, 2}, 0);
  manager->mouseDragged({508, 2}, 0);
  manager->mouseUp({508, 2}, 0);
  EXPECT_EQ(sizes, (std::vector<QW::Size>{{812, 406}, {1024, 512}, {512, 256}}));
  EXPECT_EQ(manager->windowSize(), (QW::Size{512, 256}));
  EXPECT_EQ(manager->designSize(), (QW::Size{1024, 512}));
  EXPECT_EQ(captures, 0);
  EXPECT_TRUE(take().empty());

  // The same spot of the picture, at half the coordinates, in the parent's.
  manager->mouseDown({281, 140}, 0, 1);
  manager->mouseDragged({281, 150}, 0);
  manager->mouseUp({281, 150}, 0);
  EXPECT_EQ(take(), (Log{"K down 462,230 m0 c1", "K drag 462,250 m0", "K up 462,250 m0"}));
  manager->setWindowSize({4000, 4000});
  EXPECT_EQ(manager->windowSize(), (QW::Size{1024, 512}));
}

TEST_F(ManagerInput, ModifierChangesRestartTheGestureAndTheEditBracketSpansIt) {
  element("K", QW::Bounds::fromRect(0, 0, 100, 100))->editParameter = 7;
  manager->mouseDown({10, 10}, 0, 2);
  manager->mouseDragged({10, 20}, 0);
  manager->mouseDragged({10, 30}, QW::kModifierShift);
  manager->mouseDragged({10, 40}, QW::kModifierShift | QW::kModifierCtrl);
  manager->mouseUp({10, 50}, QW::kModifierShift | QW::kModifierCtrl);
  manager->mouseDragged({10, 70}, 0);  // nothing pressed: goes nowhere
  EXPECT_EQ(take(), (Log{"K down 10,10 m0 c2", "K drag 10,20 m0", "K up 10,30 m0",
                         "K down 10,30 m512 c1", "K drag 10,30 m512", "K up 10,40 m512",
                         "K down 10,40 m2560 c1", "K drag 10,40 m2560", "K up 10,50 m2560"}));
  // A second button pressed mid-gesture ends the first gesture first.
  manager->mouseDown({10, 10}, 0, 1);
  click({20, 20});
  EXPECT_EQ(edits, (Log{"begin 7", "end 7", "begin 7", "end 7", "begin 7", "end 7"}));
  EXPECT_EQ(captures, 0);
}

TEST_F(ManagerInput, KeyFocusIsHandedOverWithFocusLost) {
  auto* field = element("F", QW::Bounds::fromRect(0, 0, 100, 20));
  auto* other = element("G", QW::Bounds::fromRect(0, 100, 100, 20));
  EXPECT_FALSE(manager->keyPressed('5'));
  manager->setKeyFocus(field);
  EXPECT_TRUE(manager->keyPressed('5'));
  manager->setKeyFocus(field);  // again: no loss
  manager->setKeyFocus(other);
  // A press anywhere takes the focus away before the pressed element sees it.
  click({50, 10});
  manager->setKeyFocus(field);
  QW::InputRecord lost;
  lost.kind = QW::InputRecord::Kind::kFocusLost;
  manager->dispatch(lost);
  EXPECT_FALSE(manager->keyPressed('5'));
  EXPECT_EQ(take(), (Log{"F key 53", "F focusLost to G", "G focusLost to nobody",
                         "F down 50,10 m0 c1", "F up 50,10 m0", "F focusLost to nobody"}));
}

using QW::Size;

TEST(ViewGeometry, ConstantsForTheDesignSize) {
  const auto g = QW::ViewGeometry::compute({1024, 512});
  EXPECT_FLOAT_EQ(g.aspect, 2.0f);
  EXPECT_FLOAT_EQ(g.eyeX, 512.0f);
  // One unit at z = 0 is one pixel: half the height subtends half the field.
  EXPECT_NEAR(256.0f / g.eyeDistance, 0.63707024f, 1e-6f);
  EXPECT_EQ((std::vector<int>{g.rect.top, g.rect.left, g.rect.bottom, g.rect.right}),
            (std::vector<int>{0, 0, 512, 1024}));
}

TEST(ViewGeometry, LayoutRequestsAreKeptWithinTheLayerPicture) {
  EXPECT_EQ(QW::clampWindowSize({2000, 900}), (Size{1024, 512}));
  EXPECT_EQ(QW::clampWindowSize({640, 300}), (Size{640, 300}));
  EXPECT_EQ(QW::clampWindowSize({0, -5}), (Size{1, 1}));
}

// The side the drag moves more drives, the aspect stays, and neither side
// leaves the layer picture: an aspect that overruns the other side is cut
// back.
TEST(ResizeDrag, DrivingSideFollowsThePointerWithinTheLayerPicture) {
  const struct {
    float dx, dy;
    Size start;
    float aspect;
    Size expected;
  } cases[] = {{-200, 10, {1024, 512}, 2, {824, 412}}, {300, 0, {1024, 512}, 2, {1024, 512}},
               {5, -112, {1024, 512}, 2, {800, 400}},  {0, 400, {600, 300}, 2, {1024, 512}},
               {600, 0, {400, 400}, 1, {512, 512}},    {0, 300, {1000, 250}, 4, {1024, 256}}};
  for (const auto& c : cases)
    EXPECT_EQ(QW::resizeForDrag(c.dx, c.dy, c.start, c.aspect), c.expected) << c.dx << "," << c.dy;
  EXPECT_GE(QW::resizeForDrag(-5000, 0, {1024, 512}, 2.0f).width, QW::kMinWindowSide);
  EXPECT_GE(QW::resizeForDrag(0, -5000, {1024, 512}, 2.0f).height, QW::kMinWindowSide);
}

}  // namespace
