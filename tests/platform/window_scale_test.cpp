// Where the picture goes in a window or screen larger than the drawing area.
#include <gtest/gtest.h>

#include "platform/win.h"

namespace {

void ExpectPlacement(const PicturePlacement& p, int scale, int x, int y, int width, int height) {
  EXPECT_EQ(p.scale, scale);
  EXPECT_EQ(p.x, x);
  EXPECT_EQ(p.y, y);
  EXPECT_EQ(p.width, width);
  EXPECT_EQ(p.height, height);
}

TEST(WindowScale, ThePictureGrowsByWholeFactorsAndIsCentred) {
  // The narrower fit decides: 700 / 240 allows only 2.
  ExpectPlacement(PlacePicture(1000, 700, 320, 240), 2, 180, 110, 640, 480);
  ExpectPlacement(PlacePicture(320, 240, 320, 240), 1, 0, 0, 320, 240);
  ExpectPlacement(PlacePicture(960, 720, 320, 240), 3, 0, 0, 960, 720);
  ExpectPlacement(PlacePicture(959, 720, 320, 240), 2, 159, 120, 640, 480);
  // A 4K screen, and a window of 320 x 240 points drawn in 640 x 480 pixels on a high-DPI display.
  ExpectPlacement(PlacePicture(3840, 2160, 320, 240), 9, 480, 0, 2880, 2160);
  ExpectPlacement(PlacePicture(640, 480, 320, 240), 2, 0, 0, 640, 480);
  ExpectPlacement(PlacePicture(1920, 1080, 640, 480), 2, 320, 60, 1280, 960);
}

TEST(WindowScale, AnAreaTooSmallShowsTheMiddleUnscaledAndNoPictureIsNoFault) {
  ExpectPlacement(PlacePicture(300, 200, 320, 240), 1, -10, -20, 320, 240);
  ExpectPlacement(PlacePicture(0, 0, 320, 240), 1, -160, -120, 320, 240);
  ExpectPlacement(PlacePicture(1000, 700, 0, 240), 1, 0, 0, 0, 0);
  ExpectPlacement(PlacePicture(1000, 700, 320, -1), 1, 0, 0, 0, 0);
}

}  // namespace
