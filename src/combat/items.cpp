// The one power-up item: its appearance at a random place and its collection.
#include <cmath>

#include "audio/sound.h"
#include "match/match.h"

void Match::SpawnItem() {
  if (itemActive != 0) return;
  itemType = RandomInt(0, 2);
  itemActive = 1;
  ++itemsSpawned;
  QueueSound(SoundItemAppears, SoundCentre);
  // Drawn in this order: x, z, then the height.
  itemX = static_cast<float>(RandomInt(-39, 39));
  itemZ = static_cast<float>(RandomInt(-39, 39));
  itemY = static_cast<float>(RandomInt(1, 19));
}

void Match::PickUpItem(int player) {
  if (itemActive == 0) return;
  // A destroyed player's position still moves and can still collect the item.
  const double d = std::fabs(static_cast<double>(x[player]) - itemX) +
                   std::fabs(static_cast<double>(y[player]) - itemY) +
                   std::fabs(static_cast<double>(z[player]) - itemZ);
  if (d >= 2.0) return;
  itemActive = 0;
  if (itemType >= 0 && itemType < 3) QueueSound(SoundItemSpeed + itemType, player);
  switch (itemType) {
    case ItemSpeed:
      speed[player] = speed[player] + 0.02f;
      break;
    case ItemPower:
      power[player] += 1;
      break;
    case ItemGrip:
      grip[player] += 1;
      if (grip[player] > 10) grip[player] = 10;
      break;
    default:
      break;
  }
}
