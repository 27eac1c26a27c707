// The activity watch: a key in the buffer, a held button, or the mouse more
// than 8 pixels from where the show found it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/input.h"
#include "present/activity.h"
#include "tests/fake/fake_platform.h"

namespace velmora {
namespace {

constexpr platform::MouseReading kFailed{};  // all -1

platform::MouseReading at(int x, int y, int buttons = 0) { return platform::MouseReading{x, y, 0, buttons}; }

class ActivityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    resetActivityWatch();
  }
  void TearDown() override { resetActivityWatch(); }
};

TEST_F(ActivityTest, MovementButtonsAndFailedReadingsAfterTheCapture) {
  struct Case {
    platform::MouseReading reading;
    bool active;
  };
  const std::vector<Case> cases = {
      {at(512, 384), false},       {at(520, 392), false},       {at(504, 376), false},
      {at(520, 384), false},       {at(504, 384), false},       {at(512, 392), false},
      {at(512, 376), false},       {at(521, 384), true},        {at(503, 384), true},
      {at(512, 393), true},        {at(512, 375), true},        {at(521, 393), true},
      {at(512, 384, 1), true},     {at(512, 384, 2), true},     {at(512, 384, 4), true},
      {at(0, 0), true},            {kFailed, true},  // the window inactive, or the pointer outside it
      {platform::MouseReading{512, 384, 7, 0}, false},  // the wheel plays no part
  };
  for (const Case& c : cases) {
    fake::reset();
    resetActivityWatch();
    fake::scheduleMouse(0.0, at(512, 384));
    captureMouseAnchor();
    ASSERT_EQ(mouseAnchor.x, 512);
    ASSERT_EQ(mouseAnchor.y, 384);
    fake::scheduleMouse(1.0, c.reading);
    fake::advance(1.0);
    EXPECT_EQ(isUserActive(), c.active) << c.reading.x << "," << c.reading.y << " buttons " << c.reading.buttons;
    EXPECT_EQ(mouseAnchor.x, 512);
    EXPECT_EQ(mouseAnchor.y, 384);
  }
}

TEST_F(ActivityTest, MovementIsMeasuredFromTheAnchorNotFromTheLastTest) {
  fake::scheduleMouse(0.0, at(100, 100));
  captureMouseAnchor();
  // Far away and back between two tests: not seen.
  fake::scheduleMouse(1.0, at(900, 700));
  fake::scheduleMouse(2.0, at(107, 93));
  fake::advance(3.0);
  EXPECT_FALSE(isUserActive());
  // Small steps that add up to more than 8 pixels are seen.
  const int steps[] = {104, 108, 109};
  for (int i = 0; i < 3; ++i) {
    fake::scheduleMouse(4.0 + i, at(steps[i], 100));
    fake::advance(1.0);
    EXPECT_EQ(isUserActive(), steps[i] > 108) << steps[i];
  }
  // A click that began and ended between two tests is not seen.
  fake::scheduleMouse(6.5, at(100, 100, 1));
  fake::scheduleMouse(7.0, at(100, 100));
  fake::advance(2.0);
  EXPECT_FALSE(isUserActive());
}

TEST_F(ActivityTest, AFailedCaptureIsRepeatedByTheFirstTest) {
  captureMouseAnchor();  // no reading at all
  EXPECT_EQ(mouseAnchor.x, -1);
  EXPECT_EQ(mouseAnchor.y, -1);
  // The first test captures (here still failing) and says nothing.
  EXPECT_FALSE(isUserActive());
  EXPECT_EQ(mouseAnchor.x, -1);
  fake::scheduleMouse(1.0, at(3, 4, 1));
  fake::advance(1.0);
  // This one captures, even with a button held, and says nothing ...
  EXPECT_FALSE(isUserActive());
  EXPECT_EQ(mouseAnchor.x, 3);
  EXPECT_EQ(mouseAnchor.y, 4);
  // ... and only later tests can see activity.
  EXPECT_TRUE(isUserActive());
  fake::scheduleMouse(2.0, at(11, 12));
  fake::advance(1.0);
  EXPECT_FALSE(isUserActive());
  // A failed reading is (-1, -1), within 8 pixels of this anchor: its button
  // mask of -1 alone makes it activity.
  fake::scheduleMouse(3.0, kFailed);
  fake::advance(1.0);
  EXPECT_TRUE(isUserActive());
  // The anchor stays once it is set, whatever a later capture reads.
  captureMouseAnchor();
  EXPECT_EQ(mouseAnchor.x, 3);
  EXPECT_EQ(mouseAnchor.y, 4);
}

TEST_F(ActivityTest, TheAnchorIsWhereTheShowPutThePointer) {
  ASSERT_TRUE(platform::openFullScreen(1024, 768));
  platform::setMouse(512, 384, false, false);
  captureMouseAnchor();
  EXPECT_EQ(mouseAnchor.x, 512);
  EXPECT_EQ(mouseAnchor.y, 384);
  EXPECT_FALSE(isUserActive());
}

TEST_F(ActivityTest, EachKeyEntryIsTakenOutOnce) {
  fake::scheduleKey(0.5);
  fake::scheduleKey(0.5);
  EXPECT_FALSE(keyPending());  // nothing has arrived yet
  fake::advance(5.0);          // nobody polled meanwhile: the entries wait
  EXPECT_TRUE(keyPending());
  EXPECT_TRUE(keyPending());
  EXPECT_FALSE(keyPending());
}

}  // namespace
}  // namespace velmora
