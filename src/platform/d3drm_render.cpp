// Drawing a scene into a viewport.
//
// One pass over the tree below the scene frame gathers every light (with its frame's world matrix)
// and every mesh to draw. Each mesh is then first tested as a whole: its bounding sphere, in camera
// space, against the front and back planes and the four side planes of the view; a mesh entirely
// outside is skipped before any of its vertices is touched. The vertices of the others are taken
// to camera space once, and projected once when they lie in front of the front plane. A polygon
// faces the camera when the eye lies on the front side of its plane (tested in the mesh's own
// space, so back faces cost no transform at all); polygons entirely outside one plane of the view
// are dropped; those crossing the front or back plane are clipped in camera space before the
// divide.
//
// Lighting works in the mesh's own space: every light is turned into a direction and a colour
// there once per mesh. Ambient lights add their colour; a directional light shines along its
// frame's +z axis. Point and spot lights are treated simply: one direction per mesh, from the
// centre of the mesh's bounding sphere to the light, attenuated by 1 / (1 + linear x distance);
// a spot light gives full light within half its umbra angle of its +z axis, none beyond half its
// penumbra angle, and fades linearly between. A parallel-point light is a point light without
// attenuation.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/d3drm.h"
#include "platform/raster.h"

namespace {

struct Rgb {
  float r = 0, g = 0, b = 0;
};

struct WorldLight {
  D3DRMLIGHTTYPE type;
  Rgb color;
  D3DVECTOR toLight;   // directional: unit vector pointing at the light (against its +z)
  D3DVECTOR position;  // point and spot
  D3DVECTOR axis;      // spot: the direction it shines in
  float cosUmbra = 1, cosPenumbra = 1, attenuation = 0;
};

struct MeshLight {
  D3DVECTOR dir;  // in the mesh's space, unit, pointing at the light
  Rgb color;
};

struct CameraVertex {
  float x, y, z;
  unsigned code;  // which planes of the view the vertex lies outside (see the Out* bits)
};

struct ClipVertex {
  float x, y, z;
  float r, g, b;
};

constexpr unsigned OutFront = 1, OutBack = 2, OutRight = 4, OutLeft = 8, OutTop = 16,
                   OutBottom = 32;
constexpr unsigned OutDepth = OutFront | OutBack;

float Dot(const D3DVECTOR& a, const D3DVECTOR& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

D3DVECTOR Unit(const D3DVECTOR& v) {
  float len = std::sqrt(Dot(v, v));
  if (!(len > 1e-30f)) return {0, 0, 0};
  return {v.x / len, v.y / len, v.z / len};
}

float Clamp01(float v) {
  return v < 0 ? 0 : (v > 1 ? 1 : v);
}

// a x b with the same products summed in the same order as D3DRMMatrixMultiply, so the same
// result to the bit; four columns at a time.
D3DRMMATRIX4D Multiply(const D3DRMMATRIX4D& a, const D3DRMMATRIX4D& b) {
#if defined(__SSE2__)
  D3DRMMATRIX4D r;
  const __m128 b0 = _mm_loadu_ps(b.m[0]), b1 = _mm_loadu_ps(b.m[1]), b2 = _mm_loadu_ps(b.m[2]),
               b3 = _mm_loadu_ps(b.m[3]);
  for (int i = 0; i < 4; ++i) {
    const float* ai = a.m[i];
    __m128 row = _mm_mul_ps(_mm_set1_ps(ai[0]), b0);
    row = _mm_add_ps(row, _mm_mul_ps(_mm_set1_ps(ai[1]), b1));
    row = _mm_add_ps(row, _mm_mul_ps(_mm_set1_ps(ai[2]), b2));
    row = _mm_add_ps(row, _mm_mul_ps(_mm_set1_ps(ai[3]), b3));
    _mm_storeu_ps(r.m[i], row);
  }
  return r;
#else
  return D3DRMMatrixMultiply(a, b);
#endif
}

bool IsIdentity(const D3DRMMATRIX4D& a) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (a.m[i][j] != (i == j ? 1.0f : 0.0f)) return false;
  return true;
}

// The inverse of an affine matrix by D3DRMMatrixInverseAffine's method (the adjugate, in double
// precision; a singular matrix gives the identity) but with one division instead of nine, which
// may change the last bit of an entry.
D3DRMMATRIX4D InverseAffine(const D3DRMMATRIX4D& a) {
  const auto& m = a.m;
  const double c00 = double(m[1][1]) * m[2][2] - double(m[1][2]) * m[2][1];
  const double c01 = double(m[1][2]) * m[2][0] - double(m[1][0]) * m[2][2];
  const double c02 = double(m[1][0]) * m[2][1] - double(m[1][1]) * m[2][0];
  const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
  D3DRMMATRIX4D r;
  if (!(std::fabs(det) > 1e-30) || !std::isfinite(det)) return r;
  const double k = 1.0 / det;
  const double inv[3][3] = {
      {c00 * k, (double(m[0][2]) * m[2][1] - double(m[0][1]) * m[2][2]) * k,
       (double(m[0][1]) * m[1][2] - double(m[0][2]) * m[1][1]) * k},
      {c01 * k, (double(m[0][0]) * m[2][2] - double(m[0][2]) * m[2][0]) * k,
       (double(m[0][2]) * m[1][0] - double(m[0][0]) * m[1][2]) * k},
      {c02 * k, (double(m[0][1]) * m[2][0] - double(m[0][0]) * m[2][1]) * k,
       (double(m[0][0]) * m[1][1] - double(m[0][1]) * m[1][0]) * k},
  };
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(inv[i][j]);
  for (int j = 0; j < 3; ++j) {
    const double t = -(m[3][0] * inv[0][j] + m[3][1] * inv[1][j] + m[3][2] * inv[2][j]);
    r.m[3][j] = static_cast<float>(t);
  }
  r.m[0][3] = r.m[1][3] = r.m[2][3] = 0;
  r.m[3][3] = 1;
  return r;
}

}  // namespace

struct D3DRMRenderScratch {
  struct Node {
    IDirect3DRMFrame* frame;
    D3DRMMATRIX4D world;
  };
  struct Item {
    IDirect3DRMMeshBuilder* mesh;
    D3DRMMATRIX4D world;
  };
  std::vector<Node> stack;
  std::vector<Item> items;
  std::vector<WorldLight> lights;
  std::vector<MeshLight> meshLights;
  std::vector<CameraVertex> camera;
  std::vector<RasterVertex> screen;
  std::vector<Rgb> shade;
  std::vector<ClipVertex> clipA, clipB;
  std::vector<RasterVertex> polygon;
  std::vector<uint8_t> edgeDrawn;  // per edge of the mesh being drawn: its line is drawn

  // Room for a scene of a few hundred frames from the start: the lists grow only beyond that, so
  // that drawing a scene of that size never allocates, not even the first time it is that large.
  D3DRMRenderScratch() {
    stack.reserve(512);
    items.reserve(512);
  }
};

IDirect3DRMDevice::~IDirect3DRMDevice() {
  delete scratch;
  if (surface != nullptr) surface->Release();
}

namespace {

// The device's surface and depth buffer as a raster target limited to the rectangle; false when
// the surface cannot be drawn on.
bool MakeTarget(IDirect3DRMDevice* device, int x, int y, int width, int height, RasterTarget& t) {
  if (device == nullptr || device->surface == nullptr) return false;
  IDirectDrawSurface& s = *device->surface;
  if (s.width <= 0 || s.height <= 0 || s.pitch < s.width ||
      s.pixels.size() < static_cast<size_t>(s.pitch) * s.height)
    return false;
  const size_t area = static_cast<size_t>(s.width) * s.height;
  if (device->depth.size() != area) device->depth.assign(area, 0.0f);
  t.color = s.pixels.data();
  t.colorPitch = s.pitch;
  t.depth = device->depth.data();
  t.depthPitch = s.width;
  t.clipLeft = std::max(x, 0);
  t.clipTop = std::max(y, 0);
  t.clipRight = std::min(x + width, s.width);
  t.clipBottom = std::min(y + height, s.height);
  return true;
}

// Sutherland-Hodgman against one depth plane: keeps z >= plane (front) or z <= plane (back).
int ClipDepth(const ClipVertex* in, int n, ClipVertex* out, float plane, bool keepFarther) {
  int m = 0;
  for (int i = 0; i < n; ++i) {
    const ClipVertex& a = in[i];
    const ClipVertex& b = in[i + 1 == n ? 0 : i + 1];
    const float da = keepFarther ? a.z - plane : plane - a.z;
    const float db = keepFarther ? b.z - plane : plane - b.z;
    if (da >= 0) out[m++] = a;
    if ((da >= 0) != (db >= 0)) {
      const float t = da / (da - db);
      out[m++] = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, plane,
                  a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
    }
  }
  return m;
}

class SceneDrawer {
 public:
  SceneDrawer(IDirect3DRMViewport& viewport, D3DRMRenderScratch& scratch,
              const RasterTarget& target)
      : vp_(viewport), s_(scratch), target_(target) {}

  void Draw(IDirect3DRMFrame* scene);

 private:
  void Gather(IDirect3DRMFrame* scene);
  // Gathers the frame's lights and meshes.
  void Visit(const IDirect3DRMFrame* frame, const D3DRMMATRIX4D& world);
  void DrawMesh(IDirect3DRMMeshBuilder& mesh, const D3DRMMATRIX4D& world);
  void SetUpMeshLights(const IDirect3DRMMeshBuilder& mesh, const D3DRMMATRIX4D& world,
                       const D3DRMMATRIX4D& inverseWorld);
  Rgb LightFor(const D3DVECTOR& normal) const {
    Rgb sum = ambient_;
    for (const MeshLight& l : s_.meshLights) {
      const float d = Dot(normal, l.dir);
      if (d > 0) {
        sum.r += d * l.color.r;
        sum.g += d * l.color.g;
        sum.b += d * l.color.b;
      }
    }
    return sum;
  }
  RasterVertex Project(float x, float y, float z, float r, float g, float b) const {
    RasterVertex v;
    const float inv = 1.0f / z;
    v.x = centerX_ + scale_ * x * inv;
    v.y = centerY_ - scale_ * y * inv;
    v.invZ = inv;
    v.r = r;
    v.g = g;
    v.b = b;
    return v;
  }
  void DrawClippedPolygon(int n, bool gouraud, uint32_t pixel);
  void DrawClippedLine(const CameraVertex& a, const CameraVertex& b, uint32_t pixel);

  IDirect3DRMViewport& vp_;
  D3DRMRenderScratch& s_;
  const RasterTarget& target_;
  D3DRMMATRIX4D view_;
  D3DVECTOR eyeWorld_;
  Rgb ambient_;
  float front_ = 1, back_ = 100;
  float scale_ = 1, centerX_ = 0, centerY_ = 0;  // the projection
  float slopeX_ = 1, slopeY_ = 1;                // half-width and half-height of the view at z = 1
  float sideScaleX_ = 1, sideScaleY_ = 1;        // sqrt(1 + slope^2): a sphere against a side plane
  bool gouraud_ = false, lit_ = false;
  int fill_ = 2;
};

void SceneDrawer::Visit(const IDirect3DRMFrame* frame, const D3DRMMATRIX4D& world) {
  const auto& m = world.m;
  for (IDirect3DRMLight* light : frame->lights) {
    WorldLight l;
    l.type = light->type;
    l.color = {light->red, light->green, light->blue};
    l.axis = Unit({m[2][0], m[2][1], m[2][2]});
    l.toLight = {-l.axis.x, -l.axis.y, -l.axis.z};
    l.position = {m[3][0], m[3][1], m[3][2]};
    l.cosUmbra = std::cos(std::min(light->umbra, 6.2831853f) / 2);
    l.cosPenumbra = std::cos(std::min(std::max(light->penumbra, light->umbra), 6.2831853f) / 2);
    l.attenuation = light->linearAttenuation;
    s_.lights.push_back(l);
  }
  for (IDirect3DRMVisual* visual : frame->visuals) {
    IDirect3DRMMeshBuilder* mesh = visual->AsMeshBuilder();
    if (mesh != nullptr && mesh->drawable) s_.items.push_back({mesh, world});
  }
}

void SceneDrawer::Gather(IDirect3DRMFrame* scene) {
  s_.stack.clear();
  s_.items.clear();
  s_.lights.clear();
  // Depth first, the last child first.
  s_.stack.push_back({scene, scene->WorldTransform()});
  while (!s_.stack.empty()) {
    const D3DRMRenderScratch::Node node = s_.stack.back();
    s_.stack.pop_back();
    Visit(node.frame, node.world);
    const std::vector<IDirect3DRMFrame*>& children = node.frame->children;
    if (children.empty()) continue;
    // Below an untransformed frame (the scene's root, as a rule) a child's matrix is its world.
    const bool identity = IsIdentity(node.world);
    // Children without children of their own (all of them, as a rule) are visited at once, in the
    // order the stack would have given them.
    if (std::none_of(children.begin(), children.end(),
                     [](const IDirect3DRMFrame* c) { return !c->children.empty(); })) {
      for (auto child = children.rbegin(); child != children.rend(); ++child) {
        if (identity)
          Visit(*child, (*child)->transform);
        else
          Visit(*child, Multiply((*child)->transform, node.world));
      }
      continue;
    }
    for (IDirect3DRMFrame* child : children)
      s_.stack.push_back(
          {child, identity ? child->transform : Multiply(child->transform, node.world)});
  }
}

void SceneDrawer::Draw(IDirect3DRMFrame* scene) {
  const D3DRMRENDERQUALITY q = vp_.device->quality;
  gouraud_ = (q & 7) != 0;
  lit_ = ((q >> 3) & 7) != 0;
  fill_ = static_cast<int>((q >> 6) & 7);

  front_ = vp_.front;
  back_ = vp_.back;
  const D3DRMMATRIX4D cameraWorld = vp_.camera->WorldTransform();
  view_ = D3DRMMatrixInverseAffine(cameraWorld);
  eyeWorld_ = {cameraWorld.m[3][0], cameraWorld.m[3][1], cameraWorld.m[3][2]};
  const float halfW = vp_.width / 2.0f, halfH = vp_.height / 2.0f;
  scale_ = std::max(halfW, halfH) * (vp_.front / vp_.field);
  centerX_ = vp_.x + halfW;
  centerY_ = vp_.y + halfH;
  slopeX_ = halfW / scale_;
  slopeY_ = halfH / scale_;
  sideScaleX_ = std::sqrt(1 + slopeX_ * slopeX_);
  sideScaleY_ = std::sqrt(1 + slopeY_ * slopeY_);

  Gather(scene);
  ambient_ = {};
  for (const WorldLight& l : s_.lights)
    if (l.type == D3DRMLIGHT_AMBIENT) {
      ambient_.r += l.color.r;
      ambient_.g += l.color.g;
      ambient_.b += l.color.b;
    }
  for (const D3DRMRenderScratch::Item& item : s_.items) DrawMesh(*item.mesh, item.world);
}

void SceneDrawer::SetUpMeshLights(const IDirect3DRMMeshBuilder& mesh, const D3DRMMATRIX4D& world,
                                  const D3DRMMATRIX4D& inverseWorld) {
  s_.meshLights.clear();
  const D3DVECTOR center = D3DRMTransformPoint(mesh.center, world);
  for (const WorldLight& l : s_.lights) {
    if (l.type == D3DRMLIGHT_AMBIENT) continue;
    MeshLight ml;
    ml.color = l.color;
    D3DVECTOR dir = l.toLight;
    if (l.type != D3DRMLIGHT_DIRECTIONAL) {
      const D3DVECTOR to{l.position.x - center.x, l.position.y - center.y, l.position.z - center.z};
      const float distance = std::sqrt(Dot(to, to));
      dir = Unit(to);
      float factor = 1;
      if (l.type != D3DRMLIGHT_PARALLELPOINT) factor = 1 / (1 + l.attenuation * distance);
      if (l.type == D3DRMLIGHT_SPOT) {
        const float c = -Dot(dir, l.axis);  // cosine of the angle off the spot's axis
        if (c < l.cosPenumbra)
          factor = 0;
        else if (c < l.cosUmbra)
          factor *= (c - l.cosPenumbra) / (l.cosUmbra - l.cosPenumbra);
      }
      ml.color = {l.color.r * factor, l.color.g * factor, l.color.b * factor};
    }
    ml.dir = Unit(D3DRMTransformDirection(dir, inverseWorld));
    s_.meshLights.push_back(ml);
  }
}

void SceneDrawer::DrawMesh(IDirect3DRMMeshBuilder& mb, const D3DRMMATRIX4D& world) {
  const D3DRMMATRIX4D mv = Multiply(world, view_);
  const auto& m = mv.m;

  // The whole mesh against the view.
  float stretch = 0;
  for (int i = 0; i < 3; ++i)
    stretch = std::max(stretch, m[i][0] * m[i][0] + m[i][1] * m[i][1] + m[i][2] * m[i][2]);
  const float r = mb.radius * std::sqrt(stretch);
  const D3DVECTOR c = D3DRMTransformPoint(mb.center, mv);
  if (c.z + r < front_ || c.z - r > back_) return;
  const float sideX = r * sideScaleX_;
  const float sideY = r * sideScaleY_;
  if (c.x - slopeX_ * c.z > sideX || -c.x - slopeX_ * c.z > sideX) return;
  if (c.y - slopeY_ * c.z > sideY || -c.y - slopeY_ * c.z > sideY) return;

  const XMesh& mesh = mb.mesh;
  const D3DRMMATRIX4D inverseWorld = InverseAffine(world);
  const D3DVECTOR eye = D3DRMTransformPoint(eyeWorld_, inverseWorld);
  const bool solid = fill_ >= 2;
  const bool lighting = lit_ && solid;
  if (lighting) SetUpMeshLights(mb, world, inverseWorld);

  // Vertices to camera space, projected where they lie in front of the front plane.
  const size_t nv = mesh.vertices.size();
  if (s_.camera.size() < nv) {
    s_.camera.resize(nv);
    s_.screen.resize(nv);
  }
#if defined(__SSE2__)
  const __m128 row0 = _mm_loadu_ps(m[0]), row1 = _mm_loadu_ps(m[1]), row2 = _mm_loadu_ps(m[2]),
               row3 = _mm_loadu_ps(m[3]);
#endif
  for (size_t i = 0; i < nv; ++i) {
    const XVector& p = mesh.vertices[i];
    CameraVertex& v = s_.camera[i];
#if defined(__SSE2__)
    // The same sums in the same order as below, x, y and z at once (the fourth lane lands on
    // `code`, which is set next).
    __m128 c = _mm_mul_ps(_mm_set1_ps(p.x), row0);
    c = _mm_add_ps(c, _mm_mul_ps(_mm_set1_ps(p.y), row1));
    c = _mm_add_ps(c, _mm_mul_ps(_mm_set1_ps(p.z), row2));
    c = _mm_add_ps(c, row3);
    static_assert(sizeof(CameraVertex) == 4 * sizeof(float));
    _mm_storeu_ps(&v.x, c);
#else
    v.x = p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0];
    v.y = p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1];
    v.z = p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2];
#endif
    unsigned code = 0;
    if (v.z < front_) code |= OutFront;
    if (v.z > back_) code |= OutBack;
    const float sx = slopeX_ * v.z, sy = slopeY_ * v.z;
    if (v.x > sx) code |= OutRight;
    if (v.x < -sx) code |= OutLeft;
    if (v.y > sy) code |= OutTop;
    if (v.y < -sy) code |= OutBottom;
    v.code = code;
    if (!(code & OutFront)) s_.screen[i] = Project(v.x, v.y, v.z, 0, 0, 0);
  }

  const bool shadeCorners = solid && gouraud_ && lighting;
  if (shadeCorners) {
    if (s_.shade.size() < mb.shadeNormal.size()) s_.shade.resize(mb.shadeNormal.size());
    for (size_t i = 0; i < mb.shadeNormal.size(); ++i) s_.shade[i] = LightFor(mb.shadeNormal[i]);
  }
  // Each clipping plane can at most double a polygon's corners (a concave polygon may cross a
  // plane on every edge).
  const size_t room = 4 * static_cast<size_t>(mb.largestPolygon) + 4;
  if (s_.clipA.size() < room) {
    s_.clipA.resize(room);
    s_.clipB.resize(room);
    s_.polygon.resize(room);
  }
  // A wireframe draws an edge that two polygons share once, for the first of them drawn.
  if (fill_ == 1) {
    if (s_.edgeDrawn.size() < mb.edgeCount) s_.edgeDrawn.resize(mb.edgeCount);
    std::fill_n(s_.edgeDrawn.begin(), mb.edgeCount, uint8_t{0});
  }

  const size_t faces = mesh.FaceCount();
  for (size_t f = 0; f < faces; ++f) {
    // Back faces (and polygons seen edge-on) are not drawn.
    if (!(Dot(mb.faceNormal[f], eye) - mb.facePlane[f] > 0)) continue;
    const uint32_t begin = mesh.faceStart[f];
    const int n = static_cast<int>(mesh.faceStart[f + 1] - begin);
    const uint32_t* index = mesh.faceIndices.data() + begin;
    unsigned all = ~0u, any = 0;
    for (int k = 0; k < n; ++k) {
      const unsigned code = s_.camera[index[k]].code;
      all &= code;
      any |= code;
    }
    if (all != 0) continue;  // entirely outside one plane of the view

    const XMaterial& mat = mesh.materials[mesh.faceMaterial[f]];
    if (!solid) {
      const uint32_t pixel = mb.faceColor[f];
      for (int k = 0; k < n; ++k) {
        const uint32_t a = index[k];
        if (fill_ == 0) {
          if (!(s_.camera[a].code & OutDepth))
            RasterLine(target_, s_.screen[a], s_.screen[a], pixel);
          continue;
        }
        uint8_t& drawn = s_.edgeDrawn[mb.cornerEdge[begin + k]];
        if (drawn) continue;
        drawn = 1;
        const uint32_t b = index[k + 1 == n ? 0 : k + 1];
        if (!((s_.camera[a].code | s_.camera[b].code) & OutDepth))
          RasterLine(target_, s_.screen[a], s_.screen[b], pixel);
        else
          DrawClippedLine(s_.camera[a], s_.camera[b], pixel);
      }
      continue;
    }

    uint32_t pixel = mb.faceColor[f];
    if (lighting && !gouraud_) {
      const Rgb light = LightFor(mb.faceNormal[f]);
      pixel = PackPixel(mat.r * light.r, mat.g * light.g, mat.b * light.b);
    }
    if (!(any & OutDepth)) {
      RasterVertex* poly = s_.polygon.data();
      for (int k = 0; k < n; ++k) poly[k] = s_.screen[index[k]];
      if (shadeCorners) {
        for (int k = 0; k < n; ++k) {
          const Rgb& light = s_.shade[mb.cornerNormal[begin + k]];
          poly[k].r = Clamp01(mat.r * light.r);
          poly[k].g = Clamp01(mat.g * light.g);
          poly[k].b = Clamp01(mat.b * light.b);
        }
        RasterPolygonGouraud(target_, poly, n);
      } else {
        RasterPolygonFlat(target_, poly, n, pixel);
      }
      continue;
    }
    ClipVertex* in = s_.clipA.data();
    for (int k = 0; k < n; ++k) {
      const CameraVertex& v = s_.camera[index[k]];
      in[k] = {v.x, v.y, v.z, 0, 0, 0};
      if (shadeCorners) {
        const Rgb& light = s_.shade[mb.cornerNormal[begin + k]];
        in[k].r = Clamp01(mat.r * light.r);
        in[k].g = Clamp01(mat.g * light.g);
        in[k].b = Clamp01(mat.b * light.b);
      }
    }
    DrawClippedPolygon(n, shadeCorners, pixel);
  }
}

// The polygon in clipA, clipped against the front and back planes, projected and filled.
void SceneDrawer::DrawClippedPolygon(int n, bool gouraud, uint32_t pixel) {
  int count = ClipDepth(s_.clipA.data(), n, s_.clipB.data(), front_, true);
  if (count < 3) return;
  count = ClipDepth(s_.clipB.data(), count, s_.clipA.data(), back_, false);
  if (count < 3) return;
  RasterVertex* poly = s_.polygon.data();
  for (int k = 0; k < count; ++k) {
    const ClipVertex& v = s_.clipA[k];
    poly[k] = Project(v.x, v.y, v.z, v.r, v.g, v.b);
  }
  if (gouraud)
    RasterPolygonGouraud(target_, poly, count);
  else
    RasterPolygonFlat(target_, poly, count, pixel);
}

void SceneDrawer::DrawClippedLine(const CameraVertex& a, const CameraVertex& b, uint32_t pixel) {
  float t0 = 0, t1 = 1;
  auto cut = [&](float da, float db) {  // da, db: signed distances inside the plane
    if (da < 0 && db < 0) return false;
    if (da < 0) t0 = std::max(t0, da / (da - db));
    if (db < 0) t1 = std::min(t1, da / (da - db));
    return t0 <= t1;
  };
  if (!cut(a.z - front_, b.z - front_) || !cut(back_ - a.z, back_ - b.z)) return;
  auto at = [&](float t) {
    return Project(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t,
                   std::max(a.z + (b.z - a.z) * t, front_), 0, 0, 0);
  };
  RasterLine(target_, at(t0), at(t1), pixel);
}

}  // namespace

HRESULT IDirect3DRMViewport::Clear(DWORD flags) {
  RasterTarget t;
  if (!MakeTarget(device, x, y, width, height, t)) return E_FAIL;
  uint32_t pixel = 0;
  if (camera != nullptr) {
    const IDirect3DRMFrame* root = camera->Root();
    pixel = PackPixel(root->backgroundRed, root->backgroundGreen, root->backgroundBlue);
  }
  const size_t width = static_cast<size_t>(t.clipRight - t.clipLeft);
  for (int row = t.clipTop; row < t.clipBottom; ++row) {
    if (flags & D3DRMCLEAR_TARGET)
      std::fill_n(t.color + static_cast<ptrdiff_t>(row) * t.colorPitch + t.clipLeft, width, pixel);
    // 0.0f is all zero bytes.
    if (flags & D3DRMCLEAR_ZBUFFER)
      std::memset(t.depth + static_cast<ptrdiff_t>(row) * t.depthPitch + t.clipLeft, 0,
                  width * sizeof(float));
  }
  return S_OK;
}

HRESULT IDirect3DRMViewport::Render(IDirect3DRMFrame* scene) {
  if (scene == nullptr || camera == nullptr) return E_INVALIDARG;
  if (!(front > 0) || !(back > front) || !(field > 0) || !std::isfinite(back)) return E_FAIL;
  RasterTarget t;
  if (!MakeTarget(device, x, y, width, height, t)) return E_FAIL;
  if (t.clipLeft >= t.clipRight || t.clipTop >= t.clipBottom) return S_OK;
  if (device->scratch == nullptr) device->scratch = new D3DRMRenderScratch;
  SceneDrawer(*this, *device->scratch, t).Draw(scene);
  return S_OK;
}
