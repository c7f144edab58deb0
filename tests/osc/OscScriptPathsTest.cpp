// What scripts add to the address space: parameter paths, function paths,
// and the Lua commands "/exec", "/call", "/startNote" and "/stopNote".
#include "OscTestSupport.h"

using namespace osc_test;

namespace {

const char* const kScript = R"(
registerOSCPathForParameter("/levels", {"Dry Level", 2})
registerOSCPathForParameterNormalized("/minDb", 6)
registerOSCPathForParameter("/set", {9, 8})
registerOSCPathForParameter("/levels", {1})
registerOSCPathForFunction("/hello", function(...) heard = {n = select('#', ...), ...} end)
registerOSCPathForFunction("/twice", function() twice = (twice or 0) + 1 end)
registerOSCPathForFunction("/twice", function() twice = (twice or 0) + 10 end)
registerOSCPathForFunction("/fails", function() error("boom") end)
registerOSCPathForFunction("/fails", function() afterFailure = true end)
function results() return 1, "a", nil, 2 end
function mixed() return "3", 4.5, "text" end
function badResult() return 1, {} end
function remember(...) remembered = table.concat({...}, ",") end
requestAllNoteOn(function(...) noteOn = table.concat({...}, ",") end)
requestAllNoteOff(function(...) noteOff = table.concat({...}, ",") end)
)";

struct ScriptPaths : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(f.ready()); }
  Args call(const char* function) {
    f.client.send(f.port, message("/call", [&](Packet& p) {
                    p << function << f.client.url().c_str() << "/r";
                  }));
    const auto reply = f.client.receiveAt("/r");
    return reply ? reply->arguments : Args{};
  }
  std::string lua(const std::string& expression) { return luaText(*f.effect, expression); }

  scripting_test::ScriptsFolder scripts;
  const bool written = (scripts.write("osc.lua", kScript), true);  // before the effect loads it
  ServiceFixture f{13};
};

TEST_F(ScriptPaths, ParameterPathsSetTheirParametersScaledAndTakeOverFixedCommands) {
  f.sync(message("/levels", [](Packet& p) { p << 0.25f << 0.5f; }));
  EXPECT_EQ(f.value(kParamDryLevel), 0.25f);
  EXPECT_EQ(f.value(kParamWetLevel), 0.5f);  // the second, shorter "/levels" was refused
  f.sync(message("/minDb", [](Packet& p) { p << 0.5f; }));
  EXPECT_EQ(f.value(kParamViewMinDb), -90.0f);
  f.sync(message("/set", [](Packet& p) { p << 0.3f << 0.7f; }));
  EXPECT_EQ(f.value(kParamViewMaxLinear), 0.3f);
  EXPECT_EQ(f.value(kParamViewMinLinear), 0.7f);
  const std::string log =
      stdoutOf([&] { runLua(*f.effect, "registerOSCPathForParameter('/levels', {3})"); });
  EXPECT_EQ(log, "@@@ inconsistent sizes in RegisterOSCPathForParameter\n");
}

TEST_F(ScriptPaths, FaultsAreLoggedWithTheirPath) {
  const struct {
    std::string datagram;
    const char* logged;
  } cases[] = {
      {message("/levels", [](Packet& p) { p << 0.25f; }), "/levels: missing argument"},
      {message("/levels", [](Packet& p) { p << 0.25f << 0.5f << 0.75f; }),
       "/levels: too many arguments"},
      {message("/levels", [](Packet& p) { p << 0.25f << int32_t{1}; }),
       "/levels: wrong argument type"},
      {message("/hello", [](Packet& p) { p << 1.0f << osc::Blob("ab", 2); }),
       "/hello: unhandled argument type to exec"},
      {message("/fails"), "/fails: failed to pcall function"},
      {message("/exec", [](Packet& p) { p << "noSuchFunction"; }),
       "/exec: failed to exec function"},
      {message("/call", [&](Packet& p) { p << "badResult" << f.client.url().c_str() << "/r"; }),
       "/call: unhandled argument type return from call"},
  };
  for (const auto& c : cases) {
    const std::string log = stdoutOf([&] { f.sync(c.datagram); });
    EXPECT_NE(log.find(std::string("error while parsing message: ") + c.logged + "\n"),
              std::string::npos)
        << c.logged << " in: " << log;
  }
  EXPECT_EQ(f.value(kParamDryLevel), 0.0f);
  EXPECT_EQ(lua("heard"), "nil");         // refused before any call
  EXPECT_EQ(lua("afterFailure"), "nil");  // a failing function skips the rest
  EXPECT_TRUE(f.client.quiet(100));
}

TEST_F(ScriptPaths, FunctionsAndCommandsGetTheArgumentsConverted) {
  char buffer[512];
  Packet p(buffer, sizeof buffer);
  p << osc::BeginMessage("/hello") << true << false << 1.5f << 2.25 << int32_t{-7} << osc::int64{1}
    << "text" << osc::OscNil << osc::EndMessage;
  f.sync(std::string(p.Data(), p.Size()));
  EXPECT_EQ(lua("heard.n"), "8");
  EXPECT_EQ(lua("table.concat({tostring(heard[1]), tostring(heard[2]), heard[3], heard[4], "
                "heard[5], heard[6], heard[7], tostring(heard[8])}, ',')"),
            "true,false,1.5,2.25,-7,1,text,nil");
  f.sync(message("/twice"));
  EXPECT_EQ(lua("twice"), "11");  // every function of a path, in order
  f.sync(message("/exec", [](Packet& p) { p << "remember" << int32_t{3} << "x"; }));
  EXPECT_EQ(lua("remembered"), "3,x");
  // "/call" replies with the results up to the first nil, numbers as floats.
  EXPECT_EQ(call("results"), (Args{1.0f, std::string("a")}));
  EXPECT_EQ(call("mixed"), (Args{3.0f, 4.5f, std::string("text")}));
  // Notes reach the scripts on channel 2.
  f.sync(message("/startNote", [](Packet& p) { p << int32_t{60} << 1.0f; }));
  EXPECT_EQ(lua("noteOn"), "2,60,127");
  f.sync(message("/stopNote", [](Packet& p) { p << int32_t{60 + 256} << 0.5f; }));
  EXPECT_EQ(lua("noteOff"), "2,60,63");
}

}  // namespace
