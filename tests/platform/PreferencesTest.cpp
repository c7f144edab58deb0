#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "platform/Preferences.h"

namespace {

std::string freshFolder() {
  char pattern[] = "/tmp/veldrana-prefs-XXXXXX";
  return mkdtemp(pattern);
}

TEST(Preferences, MissingFileOrValueGivesTheDefault) {
  const platform::Preferences prefs(freshFolder() + "/none/preferences");
  EXPECT_EQ(prefs.readNumber("OSC Base Port", 7000), 7000);
  std::string skin = "keep";
  prefs.readString("Skin", skin);
  EXPECT_EQ(skin, "keep");
}

TEST(Preferences, WritesCreateFoldersAndReadBack) {
  const std::string path = freshFolder() + "/a/b/preferences";
  const platform::Preferences prefs(path);
  ASSERT_TRUE(prefs.writeNumber("OSC Base Port", 9000));
  ASSERT_TRUE(prefs.writeNumber("Enable eye candy", 0));
  ASSERT_TRUE(prefs.writeNumber("OSC Base Port", 9100));
  EXPECT_EQ(prefs.readNumber("OSC Base Port", 7000), 9100);
  EXPECT_EQ(prefs.readNumber("Enable eye candy", 1), 0);
  std::ifstream in(path);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all, "Enable eye candy=0\nOSC Base Port=9100\n");
  // No temporary file is left behind.
  EXPECT_NE(access((path + ".tmp." + std::to_string(getpid())).c_str(), F_OK), 0);
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

TEST(Preferences, UnwritableFolderFailsQuietly) {
  const platform::Preferences prefs("/proc/no/such/preferences");
  EXPECT_FALSE(prefs.writeNumber("OSC Base Port", 1));
  EXPECT_EQ(prefs.readNumber("OSC Base Port", 7000), 7000);
}

// Restores the variables a test changes, so later tests in the same
// process keep their isolated folders.
class SavedEnvironment {
 public:
  SavedEnvironment() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  ~SavedEnvironment() {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i])
        setenv(kNames[i], saved_[i]->c_str(), 1);
      else
        unsetenv(kNames[i]);
    }
  }

 private:
  static constexpr const char* kNames[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"};
  std::vector<std::optional<std::string>> saved_;
};

TEST(Paths, FollowTheXdgVariables) {
  const SavedEnvironment saved;
  setenv("XDG_CONFIG_HOME", "/x/config", 1);
  EXPECT_EQ(platform::configFolder(), "/x/config/Quillworks/Veldrana");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(platform::configFolder(), "/home/someone/.config/Quillworks/Veldrana");
  setenv("XDG_DATA_HOME", "/x/data", 1);
  EXPECT_EQ(platform::dataFolder(), "/x/data");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(platform::dataFolder(), "/home/someone/.local/share");
  unsetenv("HOME");
  EXPECT_EQ(platform::dataFolder(), "");
  EXPECT_EQ(platform::configFolder(), "");
}

}  // namespace
