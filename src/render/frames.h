// Small helpers for the frames game code owns. A frame or model that failed to be created or
// loaded leaves a null handle; these helpers skip it instead of crashing, and otherwise make the
// same Renderer calls the game would make directly.
#pragma once

#include "render/renderer.h"

// The frame shows the model.
inline void ShowModel(FrameHandle frame, ModelHandle model) {
  if (frame && model) frame->AddVisual(model);
}

// The frame carries the light.
inline void AttachLight(FrameHandle frame, LightHandle light) {
  if (frame && light) frame->AddLight(light);
}

// Drops our reference to a frame, model or light and empties the slot.
template <typename Handle>
inline void DropReference(Handle*& handle) {
  if (handle) {
    handle->Release();
    handle = nullptr;
  }
}

// Takes a frame out of the scene, drops our reference and empties the slot.
inline void ReleaseFrame(FrameHandle& frame) {
  Renderer.RemoveFromScene(frame);
  DropReference(frame);
}

inline void PlaceFrame(FrameHandle frame, double x, double y, double z) {
  if (frame) Renderer.SetFramePosition(frame, x, y, z);
}

// Replaces the frame's whole transform, its position included.
inline void TurnFrame(FrameHandle frame, int ax, int ay, int az) {
  if (frame) Renderer.SetRotationAngles(frame, ax, ay, az);
}
