// The manager's input handling without a display: hover tracking, gestures,
// resizing, the edit bracket and key focus, seen through elements that only
// record what reaches them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gui/Manager.h"
#include "support/ScopedEnv.h"

namespace {

using Log = std::vector<std::string>;

std::string pointText(QW::Point p) {
  char text[48];
  std::snprintf(text, sizeof text, "%g,%g", p.x, p.y);
  return text;
}

// An element with a box that writes every call it gets into a log.
class RecordingElement : public QW::ControlBase {
 public:
  RecordingElement(QW::Manager* manager, std::string name, QW::Bounds box, Log* log)
      : ControlBase(manager), name_(std::move(name)), log_(log) {
    box_ = box;
  }

  void mouseDown(QW::Point p, uint32_t modifiers, int clicks) override {
    write("down " + pointText(p) + " m" + std::to_string(modifiers) + " c" +
          std::to_string(clicks));
    if (editParameter >= 0) manager_->beginParameterEdit(editParameter);
  }
  void mouseDragged(QW::Point p, uint32_t modifiers) override {
    write("drag " + pointText(p) + " m" + std::to_string(modifiers));
  }
  void mouseUp(QW::Point p, uint32_t modifiers) override {
    write("up " + pointText(p) + " m" + std::to_string(modifiers));
  }
  void mouseEntered() override { write("enter"); }
  void mouseExited() override { write("exit"); }
  bool keyPressed(int key) override {
    write("key " + std::to_string(key));
    return true;
  }
  void focusLost(QW::UIElement* newFocus) override {
    const auto* other = dynamic_cast<RecordingElement*>(newFocus);
    write("focusLost to " + (other ? other->name_ : std::string("nobody")));
  }
  QW::UIElement* hitTest(QW::Point p) override {
    groupModeSeen = QW::Manager::hitTestingGroups();
    return ControlBase::hitTest(p);
  }

  // When set, a press begins an edit of this parameter (as controls do).
  int32_t editParameter = -1;
  bool groupModeSeen = false;

 private:
  void write(const std::string& what) { log_->push_back(name_ + " " + what); }

  std::string name_;
  Log* log_;
};

class RecordingGroup : public QW::Group {
 public:
  RecordingGroup(QW::Manager* manager, std::string name, Log* log)
      : Group(manager), name_(std::move(name)), log_(log) {}
  void mouseEntered() override { log_->push_back(name_ + " enter"); }
  void mouseExited() override { log_->push_back(name_ + " exit"); }

 private:
  std::string name_;
  Log* log_;
};

// A window that only remembers what the manager asked of it.
struct FakeWindow {
  int height = 512;
  std::vector<QW::Size> sizes;
  int focusTaken = 0;
};

class FakeBridge : public QW::ManagerPlatformBridge {
 public:
  explicit FakeBridge(FakeWindow& w) : window_(w) {}
  bool createContext() override { return false; }
  bool makeCurrent() override { return false; }
  void destroyContexts() override {}
  void swapBuffers() override {}
  void takeFocus() override { ++window_.focusTaken; }
  void setWindowSize(int width, int height) override {
    window_.sizes.push_back({width, height});
    window_.height = height;
  }
  int windowHeight() override { return window_.height; }

 private:
  FakeWindow& window_;
};

QW::Bounds box(float x, float y, float w, float h) {
  return QW::Bounds::fromRect(x, y, w, h);
}

class ManagerInput : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      const ScopedEnv noPreferences("XDG_CONFIG_HOME", "/nonexistent-veldrana-test");
      manager = std::make_unique<QW::Manager>(nullptr);
    }
    manager->setWindowSize({1024, 512});
    manager->computeViewGeometry();
    QW::Manager::PlatformCallbacks callbacks;
    callbacks.beginEdit = [this](int32_t i) { edits.push_back("begin " + std::to_string(i)); };
    callbacks.endEdit = [this](int32_t i) { edits.push_back("end " + std::to_string(i)); };
    callbacks.setCapture = [this] { ++captures; };
    callbacks.releaseCapture = [this] { ++releases; };
    manager->setPlatform(std::make_unique<FakeBridge>(window), std::move(callbacks));
  }

  RecordingElement* element(const std::string& name, QW::Bounds b, QW::Group* parent = nullptr) {
    auto* e = manager->create<RecordingElement>(name, b, &log);
    (parent ? parent : manager->root())->add(e);
    return e;
  }

  // The log since the last call.
  Log take() {
    Log out;
    out.swap(log);
    return out;
  }

  FakeWindow window;
  // Before the manager, whose destructor may still end an edit.
  Log log;
  std::vector<std::string> edits;
  int captures = 0;
  int releases = 0;
  std::unique_ptr<QW::Manager> manager;
};

TEST_F(ManagerInput, HoverEntersAndExitsNestedGroupsAndElements) {
  auto* outer = manager->create<RecordingGroup>("G", &log);
  manager->root()->add(outer);
  outer->setPosition(100.0f, 100.0f);
  auto* a = element("A", box(0, 0, 50, 50), outer);
  element("B", box(100, 0, 50, 50), outer);
  element("far", box(800, 400, 20, 20));

  // Inside the group's bounds (100..250, 100..150) but between its children.
  manager->mouseMoved({175, 125});
  EXPECT_EQ(take(), (Log{"G enter"}));
  EXPECT_TRUE(a->groupModeSeen);
  EXPECT_FALSE(QW::Manager::hitTestingGroups());
  EXPECT_EQ(manager->hoverElement(), outer);

  // Onto a child: the group is still under the pointer and stays entered.
  manager->mouseMoved({120, 120});
  EXPECT_EQ(take(), (Log{"A enter"}));
  EXPECT_EQ(manager->hoverElement(), a);
  manager->mouseMoved({130, 130});
  EXPECT_TRUE(take().empty());

  // Off the child, still inside the group; then out of both at once.
  manager->mouseMoved({175, 140});
  EXPECT_EQ(take(), (Log{"A exit"}));
  EXPECT_EQ(manager->hoverElement(), outer);
  manager->mouseMoved({700, 300});
  EXPECT_EQ(take(), (Log{"G exit"}));

  // Only the root is under the pointer there: that is nothing.
  EXPECT_EQ(manager->hoverElement(), nullptr);
  manager->mouseMoved({810, 410});
  EXPECT_EQ(take(), (Log{"far enter"}));

  // A click between the group's children hits nothing: groups are hit only
  // while tracking the pointer.
  a->groupModeSeen = true;
  manager->mouseDown({175, 125}, 0, 1);
  EXPECT_FALSE(a->groupModeSeen);
  EXPECT_EQ(manager->trackedElement(), nullptr);
  manager->mouseUp({175, 125}, 0);
  EXPECT_TRUE(take().empty());
}

TEST_F(ManagerInput, LeavingTheWindowExitsEverythingHoveredButKeepsTheGesture) {
  auto* outer = manager->create<RecordingGroup>("G", &log);
  manager->root()->add(outer);
  auto* a = element("A", box(0, 0, 50, 50), outer);
  element("B", box(100, 0, 50, 50), outer);
  // Between the children (the group), then onto one.
  manager->mouseMoved({75, 20});
  manager->mouseMoved({20, 20});
  manager->setHoveredId(7);
  manager->setTooltipElement(a);
  take();

  QW::InputRecord left;
  left.kind = QW::InputRecord::Kind::kPointerLeft;
  EXPECT_TRUE(manager->dispatch(left));
  Log exits = take();
  std::sort(exits.begin(), exits.end());
  EXPECT_EQ(exits, (Log{"A exit", "G exit"}));
  EXPECT_EQ(manager->hoverElement(), nullptr);
  EXPECT_EQ(manager->hoveredId(), QW::Manager::kNoTooltip);
  EXPECT_EQ(manager->tooltipElement(), nullptr);
  // Coming back enters again.
  manager->mouseMoved({20, 20});
  EXPECT_EQ(take(), (Log{"A enter"}));

  // Mid-drag the pointer is captured: the gesture goes on outside.
  manager->mouseDown({20, 20}, 0, 1);
  manager->dispatch(left);
  manager->mouseDragged({-30, 20}, 0);
  manager->mouseUp({-30, 20}, 0);
  EXPECT_EQ(manager->trackedElement(), nullptr);
  const Log gesture = take();
  EXPECT_NE(std::find(gesture.begin(), gesture.end(), "A drag -30,20 m0"), gesture.end());
  EXPECT_NE(std::find(gesture.begin(), gesture.end(), "A up -30,20 m0"), gesture.end());
}

TEST_F(ManagerInput, ResizeCornerWinsOverAnElementUnderIt) {
  element("corner", box(900, 0, 124, 100));
  // Just outside the triangle the element gets the press.
  manager->mouseDown({1000, 50}, 0, 1);
  EXPECT_FALSE(manager->isResizing());
  manager->mouseUp({1000, 50}, 0);
  EXPECT_EQ(take(), (Log{"corner down 1000,50 m0 c1", "corner up 1000,50 m0"}));

  manager->mouseDown({1020, 2}, 0, 1);
  EXPECT_TRUE(manager->isResizing());
  EXPECT_EQ(captures, 2);
  // 212 pixels to the left: width drives, the 2:1 shape stays.
  manager->mouseDragged({808, 2}, 0);
  ASSERT_EQ(window.sizes.size(), 1u);
  EXPECT_EQ(window.sizes[0], (QW::Size{812, 406}));
  EXPECT_EQ(manager->windowSize(), (QW::Size{812, 406}));
  EXPECT_EQ(manager->pixelSize(), (QW::Size{812, 406}));
  const vst::ERect r = manager->rect();
  EXPECT_EQ(r.bottom, 406);
  EXPECT_EQ(r.right, 812);
  manager->mouseUp({808, 2}, 0);
  EXPECT_FALSE(manager->isResizing());
  EXPECT_EQ(captures, releases);
  EXPECT_TRUE(take().empty());
}

TEST_F(ManagerInput, ResizingKeepsTheShapeWithinTheLayerPicture) {
  manager->setWindowSize({800, 400});
  manager->computeViewGeometry();
  // Growing to the right stops at the layer picture's width.
  manager->mouseDown({790, 2}, 0, 1);
  manager->mouseDragged({1400, 2}, 0);
  ASSERT_EQ(window.sizes.size(), 1u);
  EXPECT_EQ(window.sizes.back(), (QW::Size{1024, 512}));
  // Downward: the window's bottom edge followed the pointer, so y is
  // measured against the height the window has now.
  window.height = 400;
  manager->mouseDragged({790, -98}, 0);
  EXPECT_EQ(window.sizes.back(), (QW::Size{1000, 500}));
  manager->mouseDragged({790, -900}, 0);
  EXPECT_EQ(window.sizes.back(), (QW::Size{1024, 512}));
  manager->mouseUp({790, -900}, 0);
}

TEST_F(ManagerInput, ClicksLandOnTheSameElementsAfterAResize) {
  auto* group = manager->create<QW::Group>();
  manager->root()->add(group);
  group->setPosition(100.0f, 50.0f);
  element("K", box(412, 206, 100, 50), group);  // 512..612, 256..306 in the window

  manager->mouseDown({562, 280}, 0, 1);
  manager->mouseUp({562, 280}, 0);
  // Points reach an element in its parent's coordinates.
  EXPECT_EQ(take(), (Log{"K down 462,230 m0 c1", "K up 462,230 m0"}));

  // Half the size: the same spot of the picture is now at half the
  // coordinates.
  manager->mouseDown({1020, 2}, 0, 1);
  manager->mouseDragged({508, 2}, 0);
  manager->mouseUp({508, 2}, 0);
  ASSERT_EQ(manager->windowSize(), (QW::Size{512, 256}));
  EXPECT_EQ(manager->designSize(), (QW::Size{1024, 512}));

  manager->mouseDown({281, 140}, 0, 1);
  manager->mouseDragged({281, 150}, 0);
  manager->mouseUp({281, 150}, 0);
  EXPECT_EQ(take(), (Log{"K down 462,230 m0 c1", "K drag 462,250 m0", "K up 462,250 m0"}));
  // Hover tracking maps the same way.
  manager->mouseMoved({281, 140});
  EXPECT_EQ(take(), (Log{"K enter"}));
}

TEST_F(ManagerInput, ChangingModifiersMidDragRestartsTheGestureWhereThePointerIs) {
  element("K", box(0, 0, 100, 100));
  manager->mouseDown({10, 10}, 0, 2);
  manager->mouseDragged({10, 20}, 0);
  manager->mouseDragged({10, 30}, QW::kModifierShift);
  manager->mouseDragged({10, 40}, QW::kModifierShift);
  manager->mouseDragged({10, 50}, QW::kModifierShift | QW::kModifierCtrl);
  manager->mouseUp({10, 60}, QW::kModifierShift | QW::kModifierCtrl);
  EXPECT_EQ(take(),
            (Log{"K down 10,10 m0 c2", "K drag 10,20 m0", "K up 10,30 m0", "K down 10,30 m512 c1",
                 "K drag 10,30 m512", "K drag 10,40 m512", "K up 10,50 m512",
                 "K down 10,50 m2560 c1", "K drag 10,50 m2560", "K up 10,60 m2560"}));
  EXPECT_EQ(manager->trackedElement(), nullptr);
  // Dragging with nothing pressed goes nowhere.
  manager->mouseDragged({10, 70}, 0);
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(captures, releases);
}

TEST_F(ManagerInput, EditBracketReachesTheHostOncePerGesture) {
  auto* knob = element("K", box(0, 0, 100, 100));
  knob->editParameter = 7;
  manager->beginParameterEdit(7);
  manager->beginParameterEdit(7);  // the same parameter: nothing new
  manager->beginParameterEdit(9);  // another: the first edit ends first
  manager->endParameterEdit(7);    // not the edited one: ignored
  EXPECT_EQ(manager->editedParameter(), 9);
  manager->endParameterEdit(9);
  EXPECT_EQ(manager->editedParameter(), -1);
  EXPECT_EQ(edits, (std::vector<std::string>{"begin 7", "end 7", "begin 9", "end 9"}));
  edits.clear();

  // A press begins an edit the control never ends itself: the release does.
  manager->mouseDown({10, 10}, 0, 1);
  manager->mouseDragged({10, 30}, QW::kModifierShift);  // restarts: no second begin
  EXPECT_EQ(manager->editedParameter(), 7);
  manager->mouseUp({10, 30}, QW::kModifierShift);
  EXPECT_EQ(manager->editedParameter(), -1);
  EXPECT_EQ(edits, (std::vector<std::string>{"begin 7", "end 7"}));
  edits.clear();

  // A second button pressed mid-gesture ends the first gesture first.
  manager->mouseDown({10, 10}, 0, 1);
  manager->mouseDown({20, 20}, 0, 1);
  manager->mouseUp({20, 20}, 0);
  EXPECT_EQ(edits, (std::vector<std::string>{"begin 7", "end 7", "begin 7", "end 7"}));
  EXPECT_EQ(captures, releases);
}

TEST_F(ManagerInput, KeyFocusIsHandedOverWithFocusLost) {
  auto* field = element("F", box(0, 0, 100, 20));
  auto* other = element("G", box(0, 100, 100, 20));
  EXPECT_FALSE(manager->keyPressed('5'));

  manager->setKeyFocus(field);
  EXPECT_TRUE(manager->keyPressed('5'));
  QW::InputRecord key;
  key.kind = QW::InputRecord::Kind::kKey;
  key.key = 13;
  EXPECT_TRUE(manager->dispatch(key));
  manager->setKeyFocus(field);  // again: no loss
  manager->setKeyFocus(other);
  EXPECT_EQ(take(), (Log{"F key 53", "F key 13", "F focusLost to G"}));

  // A press anywhere takes the focus away before the pressed element sees
  // it.
  manager->mouseDown({50, 10}, 0, 1);
  EXPECT_EQ(manager->keyFocus(), nullptr);
  manager->mouseUp({50, 10}, 0);
  EXPECT_EQ(take(), (Log{"G focusLost to nobody", "F down 50,10 m0 c1", "F up 50,10 m0"}));

  // The window losing the focus does the same.
  manager->setKeyFocus(field);
  QW::InputRecord lost;
  lost.kind = QW::InputRecord::Kind::kFocusLost;
  manager->dispatch(lost);
  EXPECT_EQ(manager->keyFocus(), nullptr);
  EXPECT_EQ(take(), (Log{"F focusLost to nobody"}));
  EXPECT_FALSE(manager->keyPressed('5'));

  QW::InputRecord takeFocus;
  takeFocus.kind = QW::InputRecord::Kind::kTakeFocus;
  manager->dispatch(takeFocus);
  EXPECT_EQ(window.focusTaken, 1);
}

TEST_F(ManagerInput, LayoutSizeIsClampedToTheLayerPicture) {
  manager->setWindowSize({4000, 4000});
  EXPECT_EQ(manager->windowSize(), (QW::Size{1024, 512}));
}

TEST_F(ManagerInput, RenderTaskWithoutAContextDrawsNothingAndStops) {
  element("E", box(0, 0, 10, 10));
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(manager->CreateRenderTask());
  manager->CreateRenderTask();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("double call to CreateRenderTask()"), std::string::npos) << err;
  EXPECT_TRUE(manager->renderTaskRunning());
  // Input meanwhile is still handled.
  manager->mouseMoved({5, 5});
  manager->StopRenderTask();
  manager->StopRenderTask();
  EXPECT_FALSE(manager->renderTaskRunning());
  EXPECT_EQ(manager->framesDrawn(), 0u);
  EXPECT_EQ(take(), (Log{"E enter"}));
}

}  // namespace
