// A test fixture whose suite shares one private X server: its tests are
// skipped where Xvfb is not installed and fail where it did not start.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/PrivateXvfb.h"

class XvfbSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = PrivateXvfb::startForSuite(); }
  static void TearDownTestSuite() { server_.reset(); }

  // A fixture's own SetUp calls this first and returns when it reports the
  // test skipped or failed.
  void SetUp() override {
    if (!PrivateXvfb::installed())
      GTEST_SKIP() << "Xvfb is not installed; this test needs an X server";
    ASSERT_NE(server_, nullptr) << "Xvfb did not start";
  }
  bool stopped() const { return IsSkipped() || HasFatalFailure(); }

  static const std::string& serverDisplay() { return server_->display(); }

 private:
  static inline std::unique_ptr<PrivateXvfb> server_;
};
