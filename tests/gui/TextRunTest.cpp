#include <gtest/gtest.h>

#include <memory>

#include "gui/Font.h"
#include "gui/StaticText.h"
#include "gui/TextRun.h"

namespace {

TEST(TextRun, LaysOutOnlyWhenTextOrPositionChanges) {
  QW::Font font(QW::findFontFile("arial.ttf"), 12);
  ASSERT_TRUE(font.valid());
  QW::TextRunRegistry registry;
  QW::TextRun run(&registry);

  const float endX = run.set(&font, "Gain", 10.0f, 5.0f);
  EXPECT_NEAR(endX, 10.0f + font.advance("Gain"), 0.01f);
  EXPECT_EQ(run.set(&font, "Gain", 10.0f, 5.0f), endX);
  EXPECT_EQ(run.layouts(), 1);
  EXPECT_EQ(run.text(), "Gain");

  EXPECT_NEAR(run.set(&font, "Gain", 20.0f, 5.0f), endX + 10.0f, 0.01f);
  EXPECT_EQ(run.layouts(), 2);
  run.set(&font, "Gain", 20.0f, 6.0f);
  EXPECT_EQ(run.layouts(), 3);
  run.set(&font, "Mix", 20.0f, 6.0f);
  EXPECT_EQ(run.layouts(), 4);
  EXPECT_EQ(run.text(), "Mix");

  // Without a font nothing is laid out; the last end stays.
  const float mixEnd = run.endX();
  EXPECT_EQ(run.set(nullptr, "Other", 0.0f, 0.0f), mixEnd);
  EXPECT_EQ(run.layouts(), 4);
  EXPECT_EQ(run.text(), "Mix");

  // Another font's atlas needs its own quads.
  QW::Font other(QW::findFontFile("arial.ttf"), 20);
  run.set(&other, "Mix", 20.0f, 6.0f);
  EXPECT_EQ(run.layouts(), 5);
}

TEST(TextRunRegistry, ClearAllMakesEveryRunLayOutAgain) {
  QW::Font font(QW::findFontFile("tahoma.ttf"), 12);
  QW::TextRunRegistry registry;
  QW::TextRun first(&registry);
  QW::TextRun second(&registry);
  first.set(&font, "One", 0.0f, 0.0f);
  second.set(&font, "Two", 0.0f, 10.0f);

  {
    // A run that is gone is no longer cleared.
    QW::TextRun temporary(&registry);
    temporary.set(&font, "Three", 0.0f, 0.0f);
  }
  registry.clearAll();
  EXPECT_EQ(first.text(), "");
  EXPECT_EQ(second.text(), "");

  first.set(&font, "One", 0.0f, 0.0f);
  second.set(&font, "Two", 0.0f, 10.0f);
  EXPECT_EQ(first.layouts(), 2);
  EXPECT_EQ(second.layouts(), 2);
  EXPECT_EQ(first.text(), "One");

  // An unregistered run works on its own.
  QW::TextRun loose(nullptr);
  loose.set(&font, "x", 0.0f, 0.0f);
  EXPECT_EQ(loose.layouts(), 1);
}

TEST(StaticText, KeepsRunsAndTheirVisibility) {
  QW::StaticText text(nullptr, QW::StaticText::kMainFont);
  const float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  EXPECT_EQ(text.addRun("quillworks : veldrana 1.0.5", 60.0f, 490.0f, grey), 0);
  EXPECT_EQ(text.addRun("Levels", 30.0f, 400.0f, grey), 1);
  EXPECT_EQ(text.addRun("", 0.0f, 0.0f, nullptr), 2);
  EXPECT_EQ(text.runCount(), 3u);
  EXPECT_EQ(text.runText(1), "Levels");

  EXPECT_TRUE(text.runVisible(1));
  text.setRunVisible(1, false);
  EXPECT_FALSE(text.runVisible(1));
  EXPECT_TRUE(text.runVisible(0));
  text.setRunVisible(1, true);
  EXPECT_TRUE(text.runVisible(1));
  text.setRunVisible(7, false);   // no such run: ignored
  text.setRunVisible(-1, false);  // no such run: ignored
  EXPECT_FALSE(text.runVisible(7));

  // Without a manager there is no font and drawing does nothing.
  text.draw();

  text.releaseRendering();
  EXPECT_EQ(text.runCount(), 0u);
  EXPECT_EQ(text.addRun("Again", 0.0f, 0.0f, grey), 0);
  text.clear();
  EXPECT_EQ(text.runCount(), 0u);
}

}  // namespace
