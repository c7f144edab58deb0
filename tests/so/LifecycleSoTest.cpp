// Hosts load and unload a plug-in many times in one process (plug-in scans,
// project reloads). Each cycle must give back everything it took: threads,
// file descriptors, memory and, after dlclose, the mapping of the library.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/so/PluginLoader.h"

namespace {

intptr_t plainHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

size_t entriesIn(const char* folder) {
  size_t count = 0;
  if (DIR* dir = opendir(folder)) {
    while (const dirent* e = readdir(dir)) {
      if (e->d_name[0] != '.') ++count;
    }
    closedir(dir);
  }
  return count;
}

// The directory stream of entriesIn holds one descriptor while it counts;
// it is counted every time, so comparisons are fair.
size_t threadCount() {
  return entriesIn("/proc/self/task");
}
size_t openDescriptors() {
  return entriesIn("/proc/self/fd");
}

long residentBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

// Whether an object whose path ends in the plug-in's file name is loaded.
bool pluginMapped() {
  struct Search {
    std::string name;
    bool found = false;
  } search;
  const std::string path = VELDRANA_SO_PATH;
  search.name = path.substr(path.find_last_of('/') + 1);
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* s = static_cast<Search*>(data);
        const std::string object = info->dlpi_name ? info->dlpi_name : "";
        if (object.size() >= s->name.size() &&
            object.compare(object.size() - s->name.size(), s->name.size(), s->name) == 0)
          s->found = true;
        return 0;
      },
      &search);
  return search.found;
}

struct Controller {
  vst::VstMidiEvent event{};
  Controller(int32_t delta, uint8_t number, uint8_t value) {
    event.type = vst::kVstMidiType;
    event.byteSize = sizeof event;
    event.deltaFrames = delta;
    event.midiData[0] = static_cast<char>(0xB0);
    event.midiData[1] = static_cast<char>(number);
    event.midiData[2] = static_cast<char>(value);
  }
};

// One full life of the library: load, one instance made, resumed, given
// controller messages and audio, suspended and closed, unload. liveThreads:
// the process's threads while the instance is open.
void oneCycle(int seed, size_t* liveThreads = nullptr) {
  void* library = dlopen(VELDRANA_SO_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_TRUE(pluginMapped());
  auto entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(library, "VSTPluginMain"));
  ASSERT_NE(entry, nullptr);
  vst::AEffect* e = entry(plainHost);
  ASSERT_NE(e, nullptr);
  dispatch(e, vst::effOpen);
  dispatch(e, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  dispatch(e, vst::effSetBlockSize, 0, 512);
  dispatch(e, vst::effMainsChanged, 0, 1);

  // Dry level, wet level and FFT size through the built-in controller map
  // (controller 0 would move the OSC port; it is left alone).
  Controller dry(0, 2, static_cast<uint8_t>(seed % 128));
  Controller wet(100, 3, 100);
  Controller size(300, 4, static_cast<uint8_t>((seed * 17) % 128));
  struct {
    int32_t numEvents = 3;
    intptr_t reserved = 0;
    vst::VstEvent* events[3];
  } list{
      3,
      0,
      {reinterpret_cast<vst::VstEvent*>(&dry.event), reinterpret_cast<vst::VstEvent*>(&wet.event),
       reinterpret_cast<vst::VstEvent*>(&size.event)}};
  dispatch(e, vst::effProcessEvents, 0, 0, &list);

  std::vector<float> in(512), left(512), right(512);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>((i * 37 + seed) % 101) / 101.0f;
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {left.data(), right.data()};
  for (int block = 0; block < 4; ++block) e->processReplacing(e, ins, outs, 512);
  if (liveThreads) *liveThreads = threadCount();

  dispatch(e, vst::effMainsChanged, 0, 0);
  dispatch(e, vst::effClose);
  EXPECT_EQ(dlclose(library), 0) << dlerror();
}

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    // No user scripts and no preferences of whoever runs the tests.
    setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-lifecycle-scripts", 1);
    setenv("XDG_CONFIG_HOME", "/nonexistent/veldrana-lifecycle-config", 1);
  }
};

TEST_F(Lifecycle, TwoHundredLoadsGiveBackThreadsDescriptorsAndMemory) {
  // A few cycles first: the loader, libstdc++ and the allocator keep caches
  // of their own that are not ours to count.
  for (int i = 0; i < 5; ++i) oneCycle(i);
  ASSERT_FALSE(::testing::Test::HasFailure());
  const size_t threads = threadCount();
  const size_t descriptors = openDescriptors();
  const long resident = residentBytes();

  for (int i = 5; i < 200; ++i) {
    oneCycle(i);
    if (::testing::Test::HasFailure()) return;
  }

  EXPECT_EQ(threadCount(), threads);
  EXPECT_EQ(openDescriptors(), descriptors);
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer keeps freed memory in quarantine on purpose, so the
  // resident size says nothing there; LeakSanitizer checks leaks instead.
  (void)resident;
#else
  constexpr long kAllowance = 20L * 1024 * 1024;
  EXPECT_LT(residentBytes() - resident, kAllowance)
      << "resident memory grew from " << resident << " to " << residentBytes() << " bytes";
#endif
}

TEST_F(Lifecycle, DlcloseUnmapsTheLibrary) {
  ASSERT_FALSE(pluginMapped()) << "another test left the library loaded";
  const size_t threads = threadCount();
  size_t liveThreads = 0;
  oneCycle(0, &liveThreads);
  // The instance's own threads show that the counts above see its work.
  EXPECT_GT(liveThreads, threads);
  EXPECT_FALSE(pluginMapped()) << "the library stays mapped after its last dlclose";
}

}  // namespace
