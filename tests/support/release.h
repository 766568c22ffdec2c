// Giving back every frame a round of the Match may hold: what tests, the soak driver and the
// benchmarks do between runs. Header only, so that programs linking the game alone can use it.
#pragma once

#include "match/match.h"
#include "render/frames.h"

inline void ReleaseMatchFrames() {
  for (int p = 0; p < 2; ++p) {
    ReleaseFrame(Match.craftFrame[p]);
    ReleaseFrame(Match.shadowFrame[p]);
    for (Debris& piece : Match.debris[p]) ReleaseFrame(piece.frame);
  }
  ReleaseFrame(Match.groundFrame);
  ReleaseFrame(Match.itemFrame);
  ReleaseFrame(Match.itemShadowFrame);
  for (Bullet& bullet : Match.bullets) ReleaseFrame(bullet.frame);
}
