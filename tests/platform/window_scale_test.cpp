// Where the picture goes in a window or screen larger than the drawing area, and which pixel of
// the picture a point of the window is over.
#include <gtest/gtest.h>

#include <utility>

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

TEST(WindowScale, PointsOfTheAreaLandOnThePicturesPixels) {
  const PicturePlacement p = PlacePicture(1000, 700, 320, 240);  // scale 2 at (180, 110)
  auto at = [&](int x, int y) {
    POINT q = PicturePointOf(p, x, y);
    return std::make_pair(q.x, q.y);
  };
  EXPECT_EQ(at(180, 110), std::make_pair(0, 0));
  EXPECT_EQ(at(181, 111), std::make_pair(0, 0));
  EXPECT_EQ(at(182, 112), std::make_pair(1, 1));
  EXPECT_EQ(at(819, 589), std::make_pair(319, 239));
  // The black border lies outside the picture, on every side.
  EXPECT_EQ(at(179, 109), std::make_pair(-1, -1));
  EXPECT_EQ(at(0, 0), std::make_pair(-90, -55));
  EXPECT_EQ(at(820, 590), std::make_pair(320, 240));
  // Every pixel of the picture is hit by exactly its own square of the area.
  for (int x = 0; x < 320; ++x)
    for (int dx = 0; dx < 2; ++dx) ASSERT_EQ(PicturePointOf(p, 180 + 2 * x + dx, 300).x, x);
}

}  // namespace
