// Each player's camera, placed by its mode relative to the craft's position and heading.
#include <cmath>

#include "match/match.h"

namespace {

struct CameraMode {
  float distance;
  float height;
  int placementAngle;
  int headingOffset;
  int viewPitch;
};

const CameraMode CameraModes[6] = {
    {3.0f, 0.5f, 180, 0, 0},     // close behind, looking ahead
    {0.0f, 0.5f, 180, 0, 0},     // at the craft itself
    {10.0f, 0.5f, 180, 0, 0},    // far behind
    {5.0f, 0.5f, 270, 90, 0},    // on the craft's left, looking at it
    {9.0f, 9.0f, 180, 0, 45},    // behind and above, looking down
    {9.0f, -9.0f, 180, 0, -45},  // behind and below, looking up
};

}  // namespace

void Match::PlaceCamera(int p) {
  const CameraMode& mode = CameraModes[cameraMode[p]];
  // The remainder keeps the sign of the heading: -359..359.
  const int a = (mode.placementAngle + yaw[p]) % 360;
  const float cx = static_cast<float>(std::sin(DegToRad(a)) * mode.distance + x[p]);
  const float cz = static_cast<float>(std::cos(DegToRad(a)) * mode.distance + z[p]);
  const float cy = mode.height + y[p];
  const int heading = mode.headingOffset + yaw[p];
  // The angles first: setting them resets the position.
  Renderer.SetCameraAngles(p, mode.viewPitch, heading, 0);
  Renderer.SetCameraPosition(p, cx, cy, cz);
}
