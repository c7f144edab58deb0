#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Paths.h"
#include "platform/Preferences.h"

namespace {

std::string freshFolder() {
  char pattern[] = "/tmp/veldrana-prefs-XXXXXX";
  return mkdtemp(pattern);
}

TEST(Preferences, WritesCreateFoldersReplaceTheirLineAndReadBack) {
  const std::string path = freshFolder() + "/a/b/preferences";
  const platform::Preferences prefs(path);
  EXPECT_EQ(prefs.readNumber("OSC Base Port", 7000), 7000);  // no file yet
  ASSERT_TRUE(prefs.writeNumber("OSC Base Port", 9000));
  ASSERT_TRUE(prefs.writeNumber("Enable eye candy", 0));
  ASSERT_TRUE(prefs.writeNumber("OSC Base Port", 9100));
  EXPECT_EQ(prefs.readNumber("OSC Base Port", 7000), 9100);
  EXPECT_EQ(prefs.readNumber("Enable eye candy", 1), 0);
  std::stringstream all;
  all << std::ifstream(path).rdbuf();
  EXPECT_EQ(all.str(), "Enable eye candy=0\nOSC Base Port=9100\n");
  EXPECT_FALSE(platform::Preferences("/proc/no/such/preferences").writeNumber("OSC Base Port", 1));
}

TEST(Preferences, GarbageReadsAsTheDefault) {
  const std::string path = freshFolder() + "/preferences";
  std::ofstream(path) << "no equals sign\nOSC Base Port=12abc\n=5\nSkin=  Dark  \n"
                      << "Enable constant redraw=99999999999999\n";
  const platform::Preferences prefs(path);
  EXPECT_EQ(prefs.readNumber("OSC Base Port", 7000), 7000);
  EXPECT_EQ(prefs.readNumber("Enable constant redraw", 1), 1);
  std::string skin;
  prefs.readString("Skin", skin);
  EXPECT_EQ(skin, "Dark");
}

// Puts an environment variable back as it was, for the tests that follow in
// the same process.
struct SavedVariable {
  explicit SavedVariable(const char* name) : name(name), had(std::getenv(name) != nullptr) {
    if (had) value = std::getenv(name);
  }
  ~SavedVariable() { had ? setenv(name, value.c_str(), 1) : unsetenv(name); }
  const char* name;
  bool had;
  std::string value;
};

TEST(Paths, FollowTheXdgVariables) {
  const SavedVariable saved[] = {SavedVariable("XDG_CONFIG_HOME"), SavedVariable("XDG_DATA_HOME"),
                                 SavedVariable("HOME")};
  setenv("XDG_CONFIG_HOME", "/x/config", 1);
  EXPECT_EQ(platform::configFolder(), "/x/config/Quillworks/Veldrana");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(platform::configFolder(), "/home/someone/.config/Quillworks/Veldrana");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(platform::dataFolder(), "/home/someone/.local/share");
  unsetenv("HOME");
  EXPECT_EQ(platform::dataFolder(), "");
}

}  // namespace
