#include <gtest/gtest.h>

#include <string>

#include "osc/ReplyUrl.h"

namespace {

using QW::ParseReplyUrl;
using QW::ResolveReplyUrl;

TEST(ReplyUrlParsing, HostAndPortWithOrWithoutScheme) {
  auto parts = ParseReplyUrl("osc.udp://127.0.0.1:9000");
  EXPECT_EQ(parts.host, "127.0.0.1");
  EXPECT_EQ(parts.port, 9000);
  parts = ParseReplyUrl("studio:9001/");
  EXPECT_EQ(parts.host, "studio");
  EXPECT_EQ(parts.port, 9001);
}

TEST(ReplyUrlParsing, MissingOrNonNumericPortIsMinusOne) {
  EXPECT_EQ(ParseReplyUrl("localhost").port, -1);
  EXPECT_EQ(ParseReplyUrl("localhost:").port, -1);
  EXPECT_EQ(ParseReplyUrl("localhost:abc").port, -1);
}

TEST(ReplyUrlParsing, OnlyTheFirst1023BytesCount) {
  const std::string url = std::string(1023, 'h') + ":9000";
  EXPECT_EQ(ParseReplyUrl(url.c_str()).port, -1);  // the port lies beyond the cut
}

TEST(ReplyUrlResolving, DottedAndNamedHosts) {
  auto endpoint = ResolveReplyUrl("osc.udp://127.0.0.1:9000");
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->address, 0x7F000001u);
  EXPECT_EQ(endpoint->port, 9000);
  endpoint = ResolveReplyUrl("localhost:9002");
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->address >> 24, 127u);
}

TEST(ReplyUrlResolving, UnusableUrlsGiveNothing) {
  for (const char* url : {"127.0.0.1", "127.0.0.1:0", "127.0.0.1:70000", "127.0.0.1:-5", ":9000",
                          "no-such-host.invalid:9000", ""})
    EXPECT_FALSE(ResolveReplyUrl(url)) << url;
}

}  // namespace
