#include <string>
#include <utility>

#include "gui/ControlFixture.h"
#include "gui/TextField.h"

namespace {

using QW::TextField;

class TextFieldTest : public ControlFixture {
 protected:
  TextField* field(int32_t index, const std::string& format = "") {
    TextField* f = manager->create<TextField>(index, 10.0f, 10.0f, 37.0f, 12.0f, format);
    f->update();
    return f;
  }
  static void type(TextField* f, const std::string& keys) {
    for (char c : keys) EXPECT_TRUE(f->keyPressed(c)) << c;
  }
};

TEST_F(TextFieldTest, ShowsTheDisplayTextOrTheValueThroughItsFormat) {
  setPlain(kParamInputGain, -12.5f);
  EXPECT_STREQ(field(kParamInputGain)->text(), "-12.50");
  EXPECT_STREQ(field(kParamInputGain, "%.1f")->text(), "-12.5");
  // A display text that is a word stays a word.
  setPlain(kParamViewSmoothing, 0.0f);
  EXPECT_STREQ(field(kParamViewSmoothing, "%.0f")->text(), "Off");
  // A format that is not one number conversion is not trusted.
  EXPECT_STREQ(field(kParamInputGain, "%s")->text(), "-12.50");

  // The text follows the parameter from frame to frame.
  TextField* f = field(kParamInputGain, "%.1f");
  setPlain(kParamInputGain, 3.0f);
  f->update();
  EXPECT_STREQ(f->text(), "3.0");
}

TEST_F(TextFieldTest, TypedNumberIsCommittedWithReturn) {
  TextField* f = field(kParamInputGain);
  f->mouseDown({20, 15}, 0, 1);
  f->mouseUp({20, 15}, 0);
  EXPECT_EQ(manager->keyFocus(), f);
  edits.clear();

  type(f, "12");
  EXPECT_TRUE(f->isTyping());
  type(f, ".");
  type(f, "5");
  type(f, ".");  // a second point is ignored
  type(f, "-");  // so is a minus inside a number
  EXPECT_STREQ(f->text(), "12.5");
  f->update();  // the display does not overwrite what is being typed
  EXPECT_STREQ(f->text(), "12.5");
  EXPECT_EQ(plain(kParamInputGain), 0.0f);

  EXPECT_TRUE(f->keyPressed(TextField::kKeyReturn));
  EXPECT_EQ(plain(kParamInputGain), 12.5f);
  EXPECT_FALSE(f->isTyping());
  f->update();
  EXPECT_STREQ(f->text(), "12.50");
  // Committing keeps the focus.
  EXPECT_EQ(manager->keyFocus(), f);
  ASSERT_EQ(edits.size(), 2u);
  EXPECT_TRUE(edits[0].begin);
  EXPECT_EQ(edits[0].index, kParamInputGain);
  EXPECT_FALSE(edits[1].begin);
  EXPECT_EQ(edits[1].automatedBefore, edits[0].automatedBefore + 1);

  // Out of range is clamped; Enter commits like Return; a minus starts a
  // negative number.
  type(f, "-500");
  EXPECT_STREQ(f->text(), "-500");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyEnter));
  EXPECT_EQ(plain(kParamInputGain), -80.0f);
}

TEST_F(TextFieldTest, TextThatIsNoNumberStaysTyped) {
  TextField* f = field(kParamInputGain);
  type(f, "-");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyReturn));
  EXPECT_TRUE(f->isTyping());
  EXPECT_STREQ(f->text(), "-");
  EXPECT_EQ(automated(), 0);

  type(f, "7");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyBackspace));
  EXPECT_STREQ(f->text(), "-");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyBackspace));
  EXPECT_STREQ(f->text(), "");
  EXPECT_TRUE(f->isTyping());
  EXPECT_TRUE(f->keyPressed(TextField::kKeyBackspace));
  EXPECT_STREQ(f->text(), "");

  // Typing stops at 31 characters.
  type(f, std::string(40, '9'));
  EXPECT_EQ(std::string(f->text()), std::string(31, '9'));

  // Keys a number cannot hold are not taken.
  EXPECT_FALSE(f->keyPressed('a'));
  EXPECT_FALSE(f->keyPressed(' '));
  EXPECT_FALSE(f->keyPressed(27));
}

TEST_F(TextFieldTest, BackspaceOutsideTypingChangesNothing) {
  setPlain(kParamInputGain, 6.0f);
  TextField* f = field(kParamInputGain);
  EXPECT_TRUE(f->keyPressed(TextField::kKeyBackspace));
  EXPECT_STREQ(f->text(), "6.000");
  EXPECT_FALSE(f->isTyping());
}

TEST_F(TextFieldTest, ArrowsStepByTheLastShownDigit) {
  setPlain(kParamDryLevel, 0.25f);
  TextField* f = field(kParamDryLevel, "%.2f");
  ASSERT_STREQ(f->text(), "0.25");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyUp));
  EXPECT_NEAR(plain(kParamDryLevel), 0.26f, 1e-6f);
  f->update();
  EXPECT_TRUE(f->keyPressed(TextField::kKeyRight));
  EXPECT_NEAR(plain(kParamDryLevel), 0.27f, 1e-6f);
  f->update();
  EXPECT_TRUE(f->keyPressed(TextField::kKeyDown));
  f->update();
  EXPECT_TRUE(f->keyPressed(TextField::kKeyLeft));
  EXPECT_NEAR(plain(kParamDryLevel), 0.25f, 1e-6f);

  // A typed number is taken first, then stepped.
  f->update();
  type(f, "0.5");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyUp));
  EXPECT_NEAR(plain(kParamDryLevel), 0.6f, 1e-6f);
  EXPECT_FALSE(f->isTyping());

  // Stepping is clamped like everything else.
  setPlain(kParamDryLevel, 1.0f);
  f->update();
  EXPECT_TRUE(f->keyPressed(TextField::kKeyUp));
  EXPECT_EQ(plain(kParamDryLevel), 1.0f);

  // A word steps by whole units.
  setPlain(kParamViewSmoothing, 0.0f);
  TextField* words = field(kParamViewSmoothing);
  ASSERT_STREQ(words->text(), "Off");
  EXPECT_TRUE(words->keyPressed(TextField::kKeyUp));
  EXPECT_EQ(plain(kParamViewSmoothing), 1.0f);
}

TEST_F(TextFieldTest, StepRuleAndUsableFormats) {
  const std::pair<const char*, float> steps[] = {
      {"0.25", 0.01f}, {"-12.50", 0.01f}, {"500.0", 0.1f}, {"12", 1.0f},
      {"12.", 1.0f},   {"Off", 1.0f},     {"inf.5", 1.0f}, {"3.5 Hz", 0.1f}};
  for (const auto& [text, step] : steps) EXPECT_FLOAT_EQ(TextField::stepFor(text), step) << text;
  // Formats handed to printf hold one number conversion.
  for (const char* format : {"%.2f", "%+8.3g dB", "100%% %.0f", "%lf"})
    EXPECT_TRUE(TextField::usableFormat(format)) << format;
  for (const char* format : {"", "plain", "%s", "%d", "%f %f", "%*f", "%Lf", "%n", "%.2"})
    EXPECT_FALSE(TextField::usableFormat(format)) << format;
}

TEST_F(TextFieldTest, LosingFocusWhileTypingShowsTheValueAgain) {
  setPlain(kParamInputGain, -6.0f);
  TextField* f = field(kParamInputGain);
  TextField* other = field(kParamOutputGain);
  f->mouseDown({20, 15}, 0, 1);
  f->mouseUp({20, 15}, 0);
  type(f, "33");
  ASSERT_STREQ(f->text(), "33");

  // A press on another field moves the focus there.
  other->mouseDown({20, 15}, 0, 1);
  other->mouseUp({20, 15}, 0);
  EXPECT_EQ(manager->keyFocus(), other);
  EXPECT_FALSE(f->isTyping());
  f->update();
  EXPECT_STREQ(f->text(), "-6.000");
  EXPECT_EQ(plain(kParamInputGain), -6.0f);

  // So does the window losing the focus.
  type(other, "1");
  manager->dropKeyFocus();
  EXPECT_EQ(manager->keyFocus(), nullptr);
  EXPECT_FALSE(other->isTyping());
  other->update();
  EXPECT_STREQ(other->text(), "0.000");
}

class CountingBridge : public QW::ManagerPlatformBridge {
 public:
  explicit CountingBridge(int& taken) : taken_(taken) {}
  bool createContext() override { return false; }
  bool makeCurrent() override { return false; }
  void destroyContexts() override {}
  void swapBuffers() override {}
  void takeFocus() override { ++taken_; }
  void setWindowSize(int, int) override {}
  int windowHeight() override { return 512; }

 private:
  int& taken_;
};

TEST_F(TextFieldTest, PressAsksTheWindowForTheKeyboard) {
  int taken = 0;
  manager->setPlatform(std::make_unique<CountingBridge>(taken), {});
  TextField* f = field(kParamInputGain);
  f->mouseDown({20, 15}, 0, 1);
  EXPECT_EQ(taken, 1);
  EXPECT_EQ(manager->keyFocus(), f);
}

}  // namespace
