// What scripts add to the address space: parameter paths, function paths,
// and the Lua commands "/exec", "/call", "/startNote" and "/stopNote".
#include "OscTestSupport.h"

using namespace osc_test;

namespace {

using Packet = osc::OutboundPacketStream;

const char* const kScript = R"(
registerOSCPathForParameter("/levels", {"Dry Level", 2})
registerOSCPathForParameterNormalized("/minDb", 6)
registerOSCPathForParameter("/set", {9, 8})
registerOSCPathForParameter("/levels", {1})
heard = {}
registerOSCPathForFunction("/hello", function(...) heard = {...}; heardCount = select('#', ...) end)
registerOSCPathForFunction("/twice", function() twice = (twice or 0) + 1 end)
registerOSCPathForFunction("/twice", function() twice = (twice or 0) + 10 end)
registerOSCPathForFunction("/fails", function() error("boom") end)
registerOSCPathForFunction("/fails", function() afterFailure = true end)
function results() return 1, "a", nil, 2 end
function mixed() return "3", 4.5, "text" end
function badResult() return 1, {} end
function remember(...) remembered = {...}; rememberedCount = select('#', ...) end
notes = {}
requestAllNoteOn(function(channel, note, velocity) notes.on = {channel, note, velocity} end)
requestAllNoteOff(function(channel, note, velocity) notes.off = {channel, note, velocity} end)
registrationErrors = {}
for _, bad in ipairs({
  function() registerOSCPathForParameter("/p", "No Such Parameter") end,
  function() registerOSCPathForParameter("/p", 5000) end,
  function() registerOSCPathForFunction("/f", 5) end,
  function() registerOSCPathForParameter({}, 1) end,
}) do
  local ok, message = pcall(bad)
  registrationErrors[#registrationErrors + 1] = message
end
)";

class ScriptPaths : public ::testing::Test {
 protected:
  ScriptPaths() { scripts.add("osc.lua", kScript); }
  void SetUp() override { ASSERT_TRUE(f().ready()); }
  ServiceFixture& f() {
    if (!fixture) fixture = std::make_unique<ServiceFixture>(13);
    return *fixture;
  }
  void sendAndSync(const std::string& datagram) {
    f().client.send(f().port, datagram);
    ASSERT_TRUE(f().client.ping(f().port));
  }
  std::string lua(const std::string& expression) {
    QW::LuaMIDIHelper& helper = *f().effect->luaHelper();
    lua_State* L = helper.GetLuaState();
    std::lock_guard<std::recursive_mutex> lock(helper.LuaLock());
    const std::string code = "return tostring(" + expression + ")";
    std::string value;
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") == 0 && lua_pcall(L, 0, 1, 0) == 0)
      value = lua_tostring(L, -1);
    lua_pop(L, 1);
    return value;
  }
  // t[1] .. t[count] as text, joined by commas.
  std::string luaList(const std::string& t, int count) {
    return lua("(function() local o = {} for i = 1, " + std::to_string(count) +
               " do o[i] = tostring(" + t + "[i]) end return table.concat(o, ',') end)()");
  }
  std::vector<Value> call(const char* function) {
    f().client.send(f().port, message("/call", [&](Packet& p) {
                      p << function << f().client.url().c_str() << "/r";
                    }));
    const auto reply = f().client.receiveAt("/r");
    return reply ? reply->arguments : std::vector<Value>{};
  }

  TestScripts scripts;
  std::unique_ptr<ServiceFixture> fixture;
};

TEST_F(ScriptPaths, InconsistentSizesWereLoggedAtRegistration) {
  // The scripts ran in the fixture's constructor; run the same registration
  // again to see its line.
  CapturedStdout out;
  ASSERT_EQ(runLua(*f().effect, "registerOSCPathForParameter('/levels', {3})"), "");
  EXPECT_EQ(out.take(), "@@@ inconsistent sizes in RegisterOSCPathForParameter\n");
}

TEST_F(ScriptPaths, ParameterPathNeedsExactlyItsFloatsAndSetsEach) {
  CapturedStdout out;
  sendAndSync(message("/levels", [](Packet& p) { p << 0.25f; }));
  sendAndSync(message("/levels", [](Packet& p) { p << 0.25f << 0.5f << 0.75f; }));
  sendAndSync(message("/levels", [](Packet& p) { p << 0.25f << int32_t{1}; }));
  const std::string log = out.take();
  EXPECT_NE(log.find("error while parsing message: /levels: missing argument\n"),
            std::string::npos);
  EXPECT_NE(log.find("error while parsing message: /levels: too many arguments\n"),
            std::string::npos);
  EXPECT_NE(log.find("error while parsing message: /levels: wrong argument type\n"),
            std::string::npos);
  EXPECT_EQ(f().value(kParamDryLevel), 0.0f);
  // The second "/levels" registration has another length: refused at load.
  sendAndSync(message("/levels", [](Packet& p) { p << 0.25f << 0.5f; }));
  EXPECT_EQ(f().value(kParamDryLevel), 0.25f);
  EXPECT_EQ(f().value(kParamWetLevel), 0.5f);
}

TEST_F(ScriptPaths, NormalizedPathMapsZeroToOneOntoTheRange) {
  sendAndSync(message("/minDb", [](Packet& p) { p << 0.5f; }));
  EXPECT_EQ(f().value(kParamViewMinDb), -90.0f);
  sendAndSync(message("/minDb", [](Packet& p) { p << 1.0f; }));
  EXPECT_EQ(f().value(kParamViewMinDb), 0.0f);
}

TEST_F(ScriptPaths, ARegisteredPathTakesOverAFixedCommand) {
  sendAndSync(message("/set", [](Packet& p) { p << 0.3f << 0.7f; }));
  EXPECT_EQ(f().value(kParamViewMaxLinear), 0.3f);
  EXPECT_EQ(f().value(kParamViewMinLinear), 0.7f);
}

TEST_F(ScriptPaths, FunctionPathsRunEachFunctionWithTheArgumentsConverted) {
  char buffer[512];
  Packet p(buffer, sizeof buffer);
  p << osc::BeginMessage("/hello") << true << false << 1.5f << 2.25 << int32_t{-7} << osc::int64{1}
    << "text" << osc::OscNil << osc::EndMessage;
  sendAndSync(std::string(p.Data(), p.Size()));
  EXPECT_EQ(lua("heardCount"), "8");
  EXPECT_EQ(luaList("heard", 8), "true,false,1.5,2.25,-7,1,text,nil");
  sendAndSync(message("/twice"));
  EXPECT_EQ(lua("twice"), "11");  // every function of a path, in order
}

TEST_F(ScriptPaths, AFailingFunctionSkipsTheRest) {
  CapturedStdout out;
  sendAndSync(message("/fails"));
  EXPECT_NE(out.take().find("error while parsing message: /fails: failed to pcall function\n"),
            std::string::npos);
  EXPECT_EQ(lua("afterFailure"), "nil");
}

TEST_F(ScriptPaths, ArgumentsLuaCannotTakeAreRefusedBeforeAnyCall) {
  CapturedStdout out;
  char buffer[512];
  Packet p(buffer, sizeof buffer);
  p << osc::BeginMessage("/hello") << 1.0f << osc::Blob("ab", 2) << osc::EndMessage;
  sendAndSync(std::string(p.Data(), p.Size()));
  EXPECT_NE(
      out.take().find("error while parsing message: /hello: unhandled argument type to exec\n"),
      std::string::npos);
  EXPECT_EQ(lua("heardCount"), "nil");
}

TEST_F(ScriptPaths, ScriptRegistrationErrorsAreLuaErrors) {
  EXPECT_NE(lua("registrationErrors[1]").find("parameter not found: 'No Such Parameter'"),
            std::string::npos);
  EXPECT_NE(lua("registrationErrors[2]").find("parameter out of range: 5000"), std::string::npos);
  EXPECT_NE(lua("registrationErrors[3]")
                .find("second argument to registerOSCPathForFunction is not a function"),
            std::string::npos);
  EXPECT_NE(lua("registrationErrors[4]"), "nil");
}

TEST_F(ScriptPaths, ExecCallsAGlobalWithTheRemainingArgumentsOrLogsItsAbsence) {
  sendAndSync(message("/exec", [](Packet& p) { p << "remember" << int32_t{3} << "x"; }));
  EXPECT_EQ(lua("rememberedCount"), "2");
  EXPECT_EQ(luaList("remembered", 2), "3,x");
  CapturedStdout out;
  sendAndSync(message("/exec", [](Packet& p) { p << "noSuchFunction"; }));
  EXPECT_NE(out.take().find("error while parsing message: /exec: failed to exec function\n"),
            std::string::npos);
}

TEST_F(ScriptPaths, CallRepliesWithTheResultsUpToTheFirstNilNumericStringsAsFloats) {
  EXPECT_EQ(call("results"), (std::vector<Value>{1.0f, std::string("a")}));
  EXPECT_EQ(call("mixed"), (std::vector<Value>{3.0f, 4.5f, std::string("text")}));
}

TEST_F(ScriptPaths, CallWithAnUnsendableResultRepliesNothing) {
  CapturedStdout out;
  f().client.send(f().port, message("/call", [&](Packet& p) {
                    p << "badResult" << f().client.url().c_str() << "/bad";
                  }));
  ASSERT_TRUE(f().client.ping(f().port));
  EXPECT_NE(out.take().find(
                "error while parsing message: /call: unhandled argument type return from call\n"),
            std::string::npos);
  EXPECT_TRUE(f().client.quiet(200));
  // The Lua stack was left as found: the state still works.
  sendAndSync(message("/exec", [](Packet& p) { p << "remember" << 1.0f; }));
  EXPECT_EQ(lua("rememberedCount"), "1");
}

TEST_F(ScriptPaths, NotesReachTheScriptsOnChannelTwo) {
  sendAndSync(message("/startNote", [](Packet& p) { p << int32_t{60} << 1.0f; }));
  EXPECT_EQ(luaList("notes.on", 3), "2,60,127");
  sendAndSync(message("/stopNote", [](Packet& p) { p << int32_t{60 + 256} << 0.5f; }));
  EXPECT_EQ(luaList("notes.off", 3), "2,60,63");
}

}  // namespace
