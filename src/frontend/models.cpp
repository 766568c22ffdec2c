// Releasing the game's loaded models.
#include "frontend/title.h"
#include "match/match.h"
#include "render/renderer.h"

namespace {

void ReleaseModel(ModelHandle& slot) {
  if (slot != nullptr) {
    slot->Release();
    slot = nullptr;
  }
}

}  // namespace

void ReleaseModels() {
  ReleaseModel(Match.craftModel);
  ReleaseModel(Match.groundModel);
  ReleaseModel(Match.bulletModel);
  ReleaseModel(Match.shadowModel);
  ReleaseModel(TitleScene.model);
  ReleaseModel(Match.itemModels[0]);
  ReleaseModel(Match.itemModels[1]);
  ReleaseModel(Match.itemModels[2]);
  ReleaseModel(Match.itemShadowModel);
  ReleaseModel(Match.debrisModel);
}
