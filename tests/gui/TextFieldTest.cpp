#include <string>
#include <utility>
#include <vector>

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

TEST_F(TextFieldTest, ShowsTheDisplayTextOrTheValueThroughAUsableFormat) {
  setPlain(kParamInputGain, -12.5f);
  setPlain(kParamViewSmoothing, 0.0f);
  const struct {
    int32_t parameter;
    const char* format;
    const char* text;
  } cases[] = {{kParamInputGain, "", "-12.50"},
               {kParamInputGain, "%.1f", "-12.5"},
               {kParamViewSmoothing, "%.0f", "Off"},  // a word stays a word
               {kParamInputGain, "%s", "-12.50"}};    // not one number conversion
  for (const auto& c : cases)
    EXPECT_STREQ(field(c.parameter, c.format)->text(), c.text) << c.format;
  for (const char* format : {"%+8.3g dB", "100%% %.0f", "%lf"})
    EXPECT_TRUE(TextField::usableFormat(format)) << format;
  for (const char* format : {"plain", "%d", "%f %f", "%*f", "%Lf", "%n", "%.2"})
    EXPECT_FALSE(TextField::usableFormat(format)) << format;
}

TEST_F(TextFieldTest, TypedNumberIsCommittedWithReturnInsideOneEdit) {
  TextField* f = field(kParamInputGain);
  f->mouseDown({20, 15}, 0, 1);
  f->mouseUp({20, 15}, 0);
  EXPECT_EQ(manager->keyFocus(), f);
  edits.clear();
  type(f, "12.5");
  type(f, ".-");  // a second point, a minus inside a number: ignored
  f->update();    // the display does not overwrite what is being typed
  EXPECT_STREQ(f->text(), "12.5");
  EXPECT_EQ(plain(kParamInputGain), 0.0f);
  EXPECT_TRUE(f->keyPressed(TextField::kKeyReturn));
  EXPECT_EQ(plain(kParamInputGain), 12.5f);
  EXPECT_FALSE(f->isTyping());
  EXPECT_EQ(manager->keyFocus(), f);
  EXPECT_EQ(edits,
            (std::vector<EditCall>{{true, kParamInputGain, 0}, {false, kParamInputGain, 1}}));
  // Out of range is clamped; Enter commits like Return.
  type(f, "-500");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyEnter));
  EXPECT_EQ(plain(kParamInputGain), -80.0f);

  // Text that is no number stays typed; backspace edits it; typing stops at
  // 31 characters; keys a number cannot hold are not taken.
  type(f, "-");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyReturn));
  EXPECT_STREQ(f->text(), "-");
  type(f, "7\b\b\b");
  EXPECT_STREQ(f->text(), "");
  EXPECT_TRUE(f->isTyping());
  type(f, std::string(40, '9'));
  EXPECT_EQ(std::string(f->text()), std::string(31, '9'));
  for (const int key : {int{'a'}, int{' '}, 27}) EXPECT_FALSE(f->keyPressed(key)) << key;
  EXPECT_EQ(plain(kParamInputGain), -80.0f);
}

TEST_F(TextFieldTest, ArrowsStepByTheLastShownDigit) {
  setPlain(kParamDryLevel, 0.25f);
  TextField* f = field(kParamDryLevel, "%.2f");
  const std::pair<int, float> steps[] = {{TextField::kKeyUp, 0.26f},
                                         {TextField::kKeyRight, 0.27f},
                                         {TextField::kKeyDown, 0.26f},
                                         {TextField::kKeyLeft, 0.25f}};
  for (const auto& [key, value] : steps) {
    EXPECT_TRUE(f->keyPressed(key));
    EXPECT_NEAR(plain(kParamDryLevel), value, 1e-6f) << key;
    f->update();
  }
  type(f, "0.5");  // a typed number is taken first, then stepped
  EXPECT_TRUE(f->keyPressed(TextField::kKeyUp));
  EXPECT_NEAR(plain(kParamDryLevel), 0.6f, 1e-6f);
  EXPECT_TRUE(f->keyPressed(TextField::kKeyBackspace));  // not typing: nothing
  EXPECT_FALSE(f->isTyping());
  const std::pair<const char*, float> rule[] = {{"0.25", 0.01f}, {"-12.50", 0.01f}, {"500.0", 0.1f},
                                                {"12", 1.0f},    {"12.", 1.0f},     {"Off", 1.0f},
                                                {"inf.5", 1.0f}, {"3.5 Hz", 0.1f}};
  for (const auto& [text, step] : rule) EXPECT_FLOAT_EQ(TextField::stepFor(text), step) << text;
}

}  // namespace
