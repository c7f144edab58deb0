#include <gtest/gtest.h>

#include "osc/QwksAddress.h"

namespace {

using QW::ParseQwksAddress;

TEST(QwksAddressParsing, TargetsFollowOneAnother) {
  const auto parsed = ParseQwksAddress("1/3/Veldrana/*/4/Veldrana/2/17");
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->targets.size(), 3u);
  const QW::QwksTarget& t = parsed->targets[0];
  EXPECT_FALSE(t.hasProduct);
  EXPECT_EQ(t.instance, 1);
  EXPECT_TRUE(t.parameterIsIndex);
  EXPECT_EQ(t.index, 3);
  EXPECT_TRUE(parsed->targets[1].hasProduct);
  EXPECT_TRUE(parsed->targets[1].everyInstance);
  EXPECT_EQ(parsed->targets[1].index, 4);
  EXPECT_EQ(parsed->targets[2].product, "Veldrana");
  EXPECT_EQ(parsed->targets[2].instance, 2);
  EXPECT_FALSE(parsed->targets[2].everyInstance);
  EXPECT_EQ(parsed->targets[2].index, 17);
}

TEST(QwksAddressParsing, ElementModeShiftsTheIndex) {
  const auto parsed = ParseQwksAddress("+multi1/1/32/5/2/40/1");
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(parsed->elementMode);
  ASSERT_EQ(parsed->targets.size(), 2u);
  EXPECT_EQ(parsed->targets[0].index, 36);
  EXPECT_EQ(parsed->targets[1].index, 40);
}

TEST(QwksAddressParsing, NamedParameterIsKeptAsAName) {
  const auto parsed = ParseQwksAddress("1/Dry Level");
  ASSERT_TRUE(parsed);
  EXPECT_FALSE(parsed->targets[0].parameterIsIndex);
  EXPECT_EQ(parsed->targets[0].parameterName, "Dry Level");
}

TEST(QwksAddressParsing, HugeNumbersSaturate) {
  const auto parsed = ParseQwksAddress("99999999999999999999/99999999999999999999");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->targets[0].instance, INT32_MAX);
  EXPECT_EQ(parsed->targets[0].index, INT32_MAX);
}

TEST(QwksAddressParsing, BrokenShapesAreRefused) {
  for (const char* rest : {
           "",               // nothing at all
           "1",              // instance without its '/'
           "1/3/",           // a second target that never starts
           "+multi2/1/3/1",  // unknown mode
           "+multi1",        // mode without a target
           "+multi1/1/3",    // element missing
           "+multi1/1/3/x",  // element not a number
           "+multi1/1/3/",   // element empty
           "Veldrana/x/3",   // product instance neither * nor number
           "Veldrana/**/3",  // not exactly *
           "Veldrana/3",     // product instance without its '/'
           "Veldrana",       // product alone
           "+/1/3",          // other '+' segment
       }) {
    EXPECT_FALSE(ParseQwksAddress(rest)) << '"' << rest << '"';
  }
}

}  // namespace
