#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gui/Manager.h"

namespace {

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

class ManagerInput : public ::testing::Test {
 protected:
  void SetUp() override {
    // No user preferences from the machine running the tests.
    const char* old = getenv("XDG_CONFIG_HOME");
    if (old) savedConfig = old;
    setenv("XDG_CONFIG_HOME", "/nonexistent-veldrana-test", 1);
    manager = std::make_unique<QW::Manager>(nullptr);
    if (old)
      setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    manager->setWindowSize({1024, 512});
    manager->computeViewGeometry();
    QW::Manager::PlatformCallbacks callbacks;
    callbacks.beginEdit = [this](int32_t i) { edits.push_back(i); };
    callbacks.endEdit = [this](int32_t i) { edits.push_back(-1000 - i); };
    callbacks.setCapture = [this] { ++captures; };
    callbacks.releaseCapture = [this] { ++releases; };
    manager->setPlatform(std::make_unique<FakeBridge>(window), std::move(callbacks));
  }

  std::string savedConfig;
  FakeWindow window;
  std::unique_ptr<QW::Manager> manager;
  std::vector<int32_t> edits;
  int captures = 0;
  int releases = 0;
};

TEST_F(ManagerInput, PressInTheCornerResizesKeepingTheAspect) {
  manager->mouseDown({1020, 2}, 0, 1);
  EXPECT_TRUE(manager->isResizing());
  EXPECT_EQ(captures, 1);
  // 212 pixels to the left: width drives.
  manager->mouseDragged({808, 2}, 0);
  ASSERT_EQ(window.sizes.size(), 1u);
  EXPECT_EQ(window.sizes[0], (QW::Size{812, 406}));
  EXPECT_EQ(manager->windowSize(), (QW::Size{812, 406}));
  vst::ERect r = manager->rect();
  EXPECT_EQ(r.bottom, 406);
  EXPECT_EQ(r.right, 812);
  manager->mouseUp({808, 2}, 0);
  EXPECT_FALSE(manager->isResizing());
  EXPECT_EQ(releases, 1);
}

TEST_F(ManagerInput, DownwardDragMeasuredAgainstTheCurrentWindowHeight) {
  manager->setWindowSize({800, 400});
  manager->mouseDown({790, 2}, 0, 1);
  window.height = 400;
  // The bottom edge followed the pointer: y stays small while the window
  // grows by 100 pixels.
  manager->mouseDragged({790, -98}, 0);
  ASSERT_EQ(window.sizes.size(), 1u);
  EXPECT_EQ(window.sizes[0], (QW::Size{1000, 500}));
}

TEST_F(ManagerInput, PressElsewhereIsNoResize) {
  manager->mouseDown({500, 300}, QW::kModifierShift, 2);
  EXPECT_FALSE(manager->isResizing());
  manager->mouseDragged({400, 200}, QW::kModifierShift);
  EXPECT_TRUE(window.sizes.empty());
  EXPECT_EQ(captures, 1);
}

TEST_F(ManagerInput, TakeFocusRecordReachesTheWindow) {
  QW::InputRecord record;
  record.kind = QW::InputRecord::Kind::kTakeFocus;
  manager->dispatch(record);
  EXPECT_EQ(window.focusTaken, 1);
}

TEST_F(ManagerInput, KeysFindNoTakerWithoutAFocusElement) {
  QW::InputRecord record;
  record.kind = QW::InputRecord::Kind::kKey;
  record.key = '5';
  EXPECT_FALSE(manager->dispatch(record));
}

TEST_F(ManagerInput, EditBracketEndsTheOldEditAndEndsOnRelease) {
  manager->beginParameterEdit(7);
  manager->beginParameterEdit(7);  // same parameter: nothing new
  manager->beginParameterEdit(9);
  manager->endParameterEdit(7);  // not the edited one: ignored
  EXPECT_EQ(manager->editedParameter(), 9);
  manager->mouseDown({10, 10}, 0, 1);
  manager->mouseUp({10, 10}, 0);
  EXPECT_EQ(manager->editedParameter(), -1);
  EXPECT_EQ(edits, (std::vector<int32_t>{7, -1007, 9, -1009}));
}

TEST_F(ManagerInput, LayoutSizeIsClampedToTheLayerPicture) {
  manager->setWindowSize({4000, 4000});
  EXPECT_EQ(manager->windowSize(), (QW::Size{1024, 512}));
}

}  // namespace
