// Hostile and broken datagrams and scripts reading standard input: each is
// dealt with at once and the service keeps answering.
#include "OscTestSupport.h"

using namespace osc_test;

namespace {

// Every word must hold four characters (embedded zeros included).
std::string words(std::initializer_list<const char*> list) {
  std::string out;
  for (const char* w : list) out.append(w, 4);
  return out;
}

std::string bundleOf(const std::string& element, uint32_t size) {
  const char b[4] = {static_cast<char>(size >> 24), static_cast<char>(size >> 16),
                     static_cast<char>(size >> 8), static_cast<char>(size)};
  return std::string("#bundle\0", 8) + std::string(8, '\0') + std::string(b, 4) + element;
}
std::string bundleOf(const std::string& element) {
  return bundleOf(element, element.size());
}

struct BadInput : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(f.ready()); }
  ServiceFixture f{17};
};

TEST_F(BadInput, MalformedMessagesAreLoggedAndDropped) {
  const std::string set = message("/set", [](Packet& p) { p << int32_t{1} << 0.5f; });
  const char* const pastEnd = "arguments exceed message size";
  const struct {
    std::string datagram;
    const char* logged;
  } cases[] = {
      {set.substr(0, set.size() - 4), ""},
      {set.substr(0, 6), ""},
      {"/set", ""},
      {words({"/set", "\0\0\0\0", ",if\0"}), ""},
      {words({"/set", "\0\0\0\0", "if\0\0", "\0\0\0\1"}), ""},
      {words({"/set", "\0\0\0\0", ",iq\0", "\0\0\0\1", "\0\0\0\0"}), ""},
      {words({"/set", "\0\0\0\0", ",s\0\0", "abcd"}), ""},
      {words({"/set", "\0\0\0\0", ",b\0\0", "\x7f\xff\xff\xff", "abcd"}), ""},
      // Only the size check sees these blobs run past the end; oscpack does not.
      {words({"/set", "\0\0\0\0", ",b\0\0", "\0\0\0\1"}), pastEnd},
      {words({"/set", "\0\0\0\0", ",b\0\0", "\0\0\0\4"}), pastEnd},
      {words({"/set", "\0\0\0\0", ",b\0x", "\0\0\0\1", "?\0\0\0"}), ""},
      {words({"/set", "\0\0\0\0", ",[i\0", "\0\0\0\1"}), ""},
      {"#bun", ""},
      {bundleOf(set, 100), ""},
      {bundleOf(words({"/set", "\0\0\0\0", ",s\0\0", "abcd"})), ""},
  };
  for (const auto& c : cases) {
    const std::string log = stdoutOf([&] { f.sync(c.datagram); });
    EXPECT_NE(log, "") << testing::PrintToString(c.datagram);
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
  }
}

TEST_F(BadInput, BundlesNestedTooDeepAreRefused) {
  for (const int depth : {1000, 8}) {
    std::string packet = message("/set", [&](Packet& p) { p << int32_t{kParamDryLevel} << 0.5f; });
    for (int i = 0; i < depth; ++i) packet = bundleOf(packet);
    f.sync(packet);
    EXPECT_EQ(f.value(kParamDryLevel), depth == 8 ? 0.5f : 0.0f) << depth;
  }
}

// The host's standard input is a pipe nobody writes to, as under many hosts.
TEST_F(BadInput, ScriptsReadingStandardInputGetNothingAtOnce) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  struct Restore {
    int saved, writer, reader;
    ~Restore() {
      close(writer);  // ends a read that did wait
      dup2(saved, 0);
      close(saved);
      close(reader);
    }
  } restore{dup(0), fds[1], fds[0]};
  dup2(fds[0], 0);
  ASSERT_EQ(runLua(*f.effect, R"(
    function readAll() io.read() io.stdin:read("*a") for _ in io.lines() do end debug.debug() end
    function stdinResults()
      return tostring(io.read()), io.stdin:read("*a"), select("#", dofile()), type(loadfile())
    end)"),
            "");
  for (const char* function : {"dofile", "loadfile", "readAll"})
    f.sync(message("/exec", [&](Packet& p) { p << function; }));
  f.client.send(f.port, message("/call", [&](Packet& p) {
                  p << "stdinResults" << f.client.url().c_str() << "/stdin";
                }));
  const auto reply = f.client.receiveAt("/stdin");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->arguments,
            (Args{std::string("nil"), std::string(""), 0.0f, std::string("function")}));
}

}  // namespace
