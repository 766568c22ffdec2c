// The retained-mode objects: matrices, frames and their tree, mesh builders, lights, the device and
// viewport settings, the factory object and the enumeration of the layer's devices. Drawing itself
// lives in d3drm_render.cpp.
#include "platform/d3drm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Matrices

D3DRMMATRIX4D D3DRMMatrixMultiply(const D3DRMMATRIX4D& a, const D3DRMMATRIX4D& b) {
  D3DRMMATRIX4D r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
  return r;
}

D3DRMMATRIX4D D3DRMMatrixInverseAffine(const D3DRMMATRIX4D& a) {
  const auto& m = a.m;
  // Inverse of the 3x3 part by its adjugate, in double precision.
  double c00 = double(m[1][1]) * m[2][2] - double(m[1][2]) * m[2][1];
  double c01 = double(m[1][2]) * m[2][0] - double(m[1][0]) * m[2][2];
  double c02 = double(m[1][0]) * m[2][1] - double(m[1][1]) * m[2][0];
  double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
  D3DRMMATRIX4D r;
  if (!(std::fabs(det) > 1e-30) || !std::isfinite(det)) return r;
  double inv[3][3];
  inv[0][0] = c00;
  inv[1][0] = c01;
  inv[2][0] = c02;
  inv[0][1] = double(m[0][2]) * m[2][1] - double(m[0][1]) * m[2][2];
  inv[1][1] = double(m[0][0]) * m[2][2] - double(m[0][2]) * m[2][0];
  inv[2][1] = double(m[0][1]) * m[2][0] - double(m[0][0]) * m[2][1];
  inv[0][2] = double(m[0][1]) * m[1][2] - double(m[0][2]) * m[1][1];
  inv[1][2] = double(m[0][2]) * m[1][0] - double(m[0][0]) * m[1][2];
  inv[2][2] = double(m[0][0]) * m[1][1] - double(m[0][1]) * m[1][0];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) inv[i][j] /= det;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(inv[i][j]);
  // The translation row: -t x inverse.
  for (int j = 0; j < 3; ++j) {
    double t = -(m[3][0] * inv[0][j] + m[3][1] * inv[1][j] + m[3][2] * inv[2][j]);
    r.m[3][j] = static_cast<float>(t);
  }
  r.m[0][3] = r.m[1][3] = r.m[2][3] = 0;
  r.m[3][3] = 1;
  return r;
}

D3DVECTOR D3DRMTransformPoint(const D3DVECTOR& p, const D3DRMMATRIX4D& a) {
  const auto& m = a.m;
  return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
          p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
          p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]};
}

D3DVECTOR D3DRMTransformDirection(const D3DVECTOR& d, const D3DRMMATRIX4D& a) {
  const auto& m = a.m;
  return {d.x * m[0][0] + d.y * m[1][0] + d.z * m[2][0],
          d.x * m[0][1] + d.y * m[1][1] + d.z * m[2][1],
          d.x * m[0][2] + d.y * m[1][2] + d.z * m[2][2]};
}

namespace {

bool Finite(D3DVALUE a) {
  return std::isfinite(a);
}

// The matrix of `frame` relative to `reference` (null: relative to the frame's parent).
D3DRMMATRIX4D RelativeTo(const IDirect3DRMFrame* frame, IDirect3DRMFrame* reference) {
  if (reference == nullptr || reference == frame->parent) return frame->transform;
  return D3DRMMatrixMultiply(frame->WorldTransform(),
                             D3DRMMatrixInverseAffine(reference->WorldTransform()));
}

// Removes one pointer from a list; false when it is not there.
template <typename T>
bool Remove(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Frames

IDirect3DRMFrame::~IDirect3DRMFrame() {
  std::vector<IDirect3DRMFrame*> oldChildren;
  oldChildren.swap(children);
  for (IDirect3DRMFrame* child : oldChildren) {
    child->parent = nullptr;
    child->Release();
  }
  for (IDirect3DRMVisual* visual : visuals) visual->Release();
  for (IDirect3DRMLight* light : lights) light->Release();
}

HRESULT IDirect3DRMFrame::AddChild(IDirect3DRMFrame* child) {
  if (child == nullptr) return E_INVALIDARG;
  // A frame can be neither its own child nor a child of one of its descendants.
  for (IDirect3DRMFrame* f = this; f != nullptr; f = f->parent)
    if (f == child) return E_INVALIDARG;
  if (child->parent == this) return S_OK;
  child->AddRef();
  if (child->parent != nullptr) child->parent->DeleteChild(child);
  child->parent = this;
  children.push_back(child);
  return S_OK;
}

HRESULT IDirect3DRMFrame::DeleteChild(IDirect3DRMFrame* child) {
  if (child == nullptr || child->parent != this || !Remove(children, child)) return E_INVALIDARG;
  child->parent = nullptr;
  child->Release();
  return S_OK;
}

HRESULT IDirect3DRMFrame::AddVisual(IDirect3DRMVisual* visual) {
  if (visual == nullptr) return E_INVALIDARG;
  if (std::find(visuals.begin(), visuals.end(), visual) != visuals.end()) return S_OK;
  visual->AddRef();
  visuals.push_back(visual);
  return S_OK;
}

HRESULT IDirect3DRMFrame::AddLight(IDirect3DRMLight* light) {
  if (light == nullptr) return E_INVALIDARG;
  if (std::find(lights.begin(), lights.end(), light) != lights.end()) return S_OK;
  light->AddRef();
  lights.push_back(light);
  return S_OK;
}

HRESULT IDirect3DRMFrame::DeleteVisual(IDirect3DRMVisual* visual) {
  if (visual == nullptr || !Remove(visuals, visual)) return E_INVALIDARG;
  visual->Release();
  return S_OK;
}

HRESULT IDirect3DRMFrame::DeleteLight(IDirect3DRMLight* light) {
  if (light == nullptr || !Remove(lights, light)) return E_INVALIDARG;
  light->Release();
  return S_OK;
}

HRESULT IDirect3DRMFrame::SetPosition(IDirect3DRMFrame* reference, D3DVALUE x, D3DVALUE y,
                                      D3DVALUE z) {
  if (!Finite(x) || !Finite(y) || !Finite(z)) return E_INVALIDARG;
  D3DVECTOR p{x, y, z};
  if (reference != nullptr && reference != parent) {
    p = D3DRMTransformPoint(p, reference->WorldTransform());
    if (parent != nullptr)
      p = D3DRMTransformPoint(p, D3DRMMatrixInverseAffine(parent->WorldTransform()));
  }
  transform.m[3][0] = p.x;
  transform.m[3][1] = p.y;
  transform.m[3][2] = p.z;
  return S_OK;
}

HRESULT IDirect3DRMFrame::GetPosition(IDirect3DRMFrame* reference, D3DVECTOR* position) {
  if (position == nullptr) return E_INVALIDARG;
  D3DRMMATRIX4D m = RelativeTo(this, reference);
  *position = {m.m[3][0], m.m[3][1], m.m[3][2]};
  return S_OK;
}

HRESULT IDirect3DRMFrame::SetOrientation(IDirect3DRMFrame* reference, D3DVALUE dx, D3DVALUE dy,
                                         D3DVALUE dz, D3DVALUE ux, D3DVALUE uy, D3DVALUE uz) {
  double d[3] = {dx, dy, dz}, u[3] = {ux, uy, uz};
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(d[i]) || !std::isfinite(u[i])) return E_INVALIDARG;
  double dl = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  if (!(dl > 0) || !(ul > 0)) return E_INVALIDARG;
  double z[3] = {d[0] / dl, d[1] / dl, d[2] / dl};
  double along = (u[0] * z[0] + u[1] * z[1] + u[2] * z[2]);
  double y[3] = {u[0] - along * z[0], u[1] - along * z[1], u[2] - along * z[2]};
  double yl = std::sqrt(y[0] * y[0] + y[1] * y[1] + y[2] * y[2]);
  // Up (nearly) parallel to the direction leaves no axis to turn about.
  if (!(yl > 1e-6 * ul)) return E_INVALIDARG;
  for (double& c : y) c /= yl;
  double x[3] = {y[1] * z[2] - y[2] * z[1], y[2] * z[0] - y[0] * z[2], y[0] * z[1] - y[1] * z[0]};

  D3DRMMATRIX4D r;
  for (int j = 0; j < 3; ++j) {
    r.m[0][j] = static_cast<float>(x[j]);
    r.m[1][j] = static_cast<float>(y[j]);
    r.m[2][j] = static_cast<float>(z[j]);
  }
  if (reference != nullptr && reference != parent) {
    D3DRMMATRIX4D ref = reference->WorldTransform();
    ref.m[3][0] = ref.m[3][1] = ref.m[3][2] = 0;
    r = D3DRMMatrixMultiply(r, ref);
    if (parent != nullptr) {
      D3DRMMATRIX4D inv = D3DRMMatrixInverseAffine(parent->WorldTransform());
      inv.m[3][0] = inv.m[3][1] = inv.m[3][2] = 0;
      r = D3DRMMatrixMultiply(r, inv);
    }
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) transform.m[i][j] = r.m[i][j];
  return S_OK;
}

HRESULT IDirect3DRMFrame::GetOrientation(IDirect3DRMFrame* reference, D3DVECTOR* dir,
                                         D3DVECTOR* up) {
  if (dir == nullptr || up == nullptr) return E_INVALIDARG;
  D3DRMMATRIX4D m = RelativeTo(this, reference);
  *dir = {m.m[2][0], m.m[2][1], m.m[2][2]};
  *up = {m.m[1][0], m.m[1][1], m.m[1][2]};
  return S_OK;
}

HRESULT IDirect3DRMFrame::AddRotation(D3DRMCOMBINETYPE combine, D3DVALUE x, D3DVALUE y, D3DVALUE z,
                                      D3DVALUE theta) {
  if (combine != D3DRMCOMBINE_REPLACE && combine != D3DRMCOMBINE_BEFORE &&
      combine != D3DRMCOMBINE_AFTER)
    return E_INVALIDARG;
  if (!Finite(x) || !Finite(y) || !Finite(z) || !Finite(theta)) return E_INVALIDARG;
  D3DRMMATRIX4D r;
  double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
  // A zero axis turns nothing.
  if (len > 0) {
    double ax = x / len, ay = y / len, az = z / len;
    double c = std::cos(double(theta)), s = std::sin(double(theta)), v = 1 - c;
    double rows[3][3] = {{c + v * ax * ax, v * ax * ay + s * az, v * ax * az - s * ay},
                         {v * ax * ay - s * az, c + v * ay * ay, v * ay * az + s * ax},
                         {v * ax * az + s * ay, v * ay * az - s * ax, c + v * az * az}};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(rows[i][j]);
  }
  switch (combine) {
    case D3DRMCOMBINE_REPLACE:
      transform = r;
      break;
    case D3DRMCOMBINE_BEFORE:
      transform = D3DRMMatrixMultiply(r, transform);
      break;
    case D3DRMCOMBINE_AFTER:
      transform = D3DRMMatrixMultiply(transform, r);
      break;
  }
  return S_OK;
}

HRESULT IDirect3DRMFrame::SetSceneBackgroundRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue) {
  if (!Finite(red) || !Finite(green) || !Finite(blue)) return E_INVALIDARG;
  IDirect3DRMFrame* root = Root();
  root->backgroundRed = red;
  root->backgroundGreen = green;
  root->backgroundBlue = blue;
  return S_OK;
}

HRESULT IDirect3DRMFrame::GetParent(IDirect3DRMFrame** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = parent;
  if (parent != nullptr) parent->AddRef();
  return S_OK;
}

D3DRMMATRIX4D IDirect3DRMFrame::WorldTransform() const {
  D3DRMMATRIX4D m = transform;
  for (const IDirect3DRMFrame* f = parent; f != nullptr; f = f->parent)
    m = D3DRMMatrixMultiply(m, f->transform);
  return m;
}

IDirect3DRMFrame* IDirect3DRMFrame::Root() {
  IDirect3DRMFrame* f = this;
  while (f->parent != nullptr) f = f->parent;
  return f;
}

// ---------------------------------------------------------------------------------------------
// Mesh builders

HRESULT IDirect3DRMMeshBuilder::Load(const void* source, const void*, DWORD, void*, void*) {
  mesh = XMesh{};
  Prepare();
  loadError.clear();
  if (source == nullptr) return E_INVALIDARG;
  XMesh loaded;
  if (!ReadXFile(static_cast<const char*>(source), loaded, &loadError)) return E_FAIL;
  mesh = std::move(loaded);
  Prepare();
  return S_OK;
}

HRESULT IDirect3DRMMeshBuilder::SetPerspective(BOOL enabled) {
  perspective = enabled != 0;
  return S_OK;
}

namespace {

bool ValidMesh(const XMesh& m) {
  const size_t faces = m.FaceCount();
  if (m.faceStart.empty()) return m.faceIndices.empty() && m.faceMaterial.empty();
  if (m.faceStart[0] != 0 || m.faceStart.back() != m.faceIndices.size()) return false;
  for (size_t f = 0; f < faces; ++f)
    if (m.faceStart[f + 1] < m.faceStart[f] || m.faceStart[f + 1] - m.faceStart[f] < 3)
      return false;
  for (uint32_t i : m.faceIndices)
    if (i >= m.vertices.size()) return false;
  if (m.faceMaterial.size() != faces) return false;
  for (uint32_t i : m.faceMaterial)
    if (i >= m.materials.size()) return false;
  if (!m.normalIndices.empty()) {
    if (m.normalIndices.size() != m.faceIndices.size()) return false;
    for (uint32_t i : m.normalIndices)
      if (i >= m.normals.size()) return false;
  }
  for (const XVector& v : m.vertices)
    if (!Finite(v.x) || !Finite(v.y) || !Finite(v.z)) return false;
  return true;
}

D3DVECTOR Normalised(double x, double y, double z) {
  double len = std::sqrt(x * x + y * y + z * z);
  if (!(len > 1e-20) || !std::isfinite(len)) return {0, 0, 0};
  return {static_cast<float>(x / len), static_cast<float>(y / len), static_cast<float>(z / len)};
}

}  // namespace

void IDirect3DRMMeshBuilder::Prepare() {
  drawable = false;
  faceNormal.clear();
  facePlane.clear();
  faceColor.clear();
  shadeNormal.clear();
  cornerNormal.clear();
  cornerEdge.clear();
  edgeCount = 0;
  center = {};
  radius = 0;
  largestPolygon = 0;
  if (!ValidMesh(mesh)) return;

  const size_t faces = mesh.FaceCount();
  faceNormal.resize(faces);
  facePlane.resize(faces);
  faceColor.resize(faces);
  for (size_t f = 0; f < faces; ++f) {
    const uint32_t begin = mesh.faceStart[f], end = mesh.faceStart[f + 1];
    const uint32_t n = end - begin;
    largestPolygon = std::max(largestPolygon, n);
    // Newell's method: for a clockwise polygon (seen from its front) in these left-handed axes the
    // normal points out of the front.
    double nx = 0, ny = 0, nz = 0, cx = 0, cy = 0, cz = 0;
    for (uint32_t k = 0; k < n; ++k) {
      const XVector& a = mesh.vertices[mesh.faceIndices[begin + k]];
      const XVector& b = mesh.vertices[mesh.faceIndices[begin + (k + 1) % n]];
      nx += (double(a.y) - b.y) * (double(a.z) + b.z);
      ny += (double(a.z) - b.z) * (double(a.x) + b.x);
      nz += (double(a.x) - b.x) * (double(a.y) + b.y);
      cx += a.x;
      cy += a.y;
      cz += a.z;
    }
    D3DVECTOR normal = Normalised(nx, ny, nz);
    faceNormal[f] = normal;
    facePlane[f] = static_cast<float>((normal.x * cx + normal.y * cy + normal.z * cz) / n);
    const XMaterial& mat = mesh.materials[mesh.faceMaterial[f]];
    faceColor[f] = PackPixel(mat.r, mat.g, mat.b);
  }

  if (!mesh.normalIndices.empty()) {
    shadeNormal.reserve(mesh.normals.size());
    for (const XVector& n : mesh.normals) shadeNormal.push_back(Normalised(n.x, n.y, n.z));
    cornerNormal = mesh.normalIndices;
  } else {
    // Each vertex: the normalised plain sum of the normals of the polygons around it.
    std::vector<double> sum(mesh.vertices.size() * 3, 0.0);
    for (size_t f = 0; f < faces; ++f)
      for (uint32_t k = mesh.faceStart[f]; k < mesh.faceStart[f + 1]; ++k) {
        const uint32_t v = mesh.faceIndices[k];
        sum[v * 3 + 0] += faceNormal[f].x;
        sum[v * 3 + 1] += faceNormal[f].y;
        sum[v * 3 + 2] += faceNormal[f].z;
      }
    shadeNormal.resize(mesh.vertices.size());
    for (size_t v = 0; v < mesh.vertices.size(); ++v)
      shadeNormal[v] = Normalised(sum[v * 3], sum[v * 3 + 1], sum[v * 3 + 2]);
    cornerNormal = mesh.faceIndices;
  }

  // Number the edges: each corner's edge by its two vertices, the lower first.
  std::vector<std::pair<uint64_t, uint32_t>> edges;
  edges.reserve(mesh.faceIndices.size());
  for (size_t f = 0; f < faces; ++f) {
    const uint32_t begin = mesh.faceStart[f], end = mesh.faceStart[f + 1];
    for (uint32_t k = begin; k < end; ++k) {
      const uint32_t a = mesh.faceIndices[k], b = mesh.faceIndices[k + 1 == end ? begin : k + 1];
      edges.push_back({uint64_t(std::min(a, b)) << 32 | std::max(a, b), k});
    }
  }
  std::sort(edges.begin(), edges.end());
  cornerEdge.resize(mesh.faceIndices.size());
  for (size_t i = 0; i < edges.size(); ++i) {
    if (i > 0 && edges[i].first != edges[i - 1].first) ++edgeCount;
    cornerEdge[edges[i].second] = edgeCount;
  }
  if (!edges.empty()) ++edgeCount;

  if (!mesh.vertices.empty()) {
    XVector lo = mesh.vertices[0], hi = mesh.vertices[0];
    for (const XVector& v : mesh.vertices) {
      lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
      hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
    double c[3] = {(double(lo.x) + hi.x) / 2, (double(lo.y) + hi.y) / 2, (double(lo.z) + hi.z) / 2};
    double r2 = 0;
    for (const XVector& v : mesh.vertices) {
      double dx = v.x - c[0], dy = v.y - c[1], dz = v.z - c[2];
      r2 = std::max(r2, dx * dx + dy * dy + dz * dz);
    }
    center = {static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2])};
    // A little slack covers the rounding of the centre to single precision.
    radius = static_cast<float>(std::sqrt(r2) * (1 + 1e-5) + 1e-5);
  }
  drawable = faces > 0;
}

// ---------------------------------------------------------------------------------------------
// Lights

HRESULT IDirect3DRMLight::SetPenumbra(D3DVALUE angle) {
  if (!Finite(angle) || angle < 0) return E_INVALIDARG;
  penumbra = angle;
  return S_OK;
}

HRESULT IDirect3DRMLight::SetUmbra(D3DVALUE angle) {
  if (!Finite(angle) || angle < 0) return E_INVALIDARG;
  umbra = angle;
  return S_OK;
}

HRESULT IDirect3DRMLight::SetLinearAttenuation(D3DVALUE attenuation) {
  if (!Finite(attenuation) || attenuation < 0) return E_INVALIDARG;
  linearAttenuation = attenuation;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Device and viewport settings

HRESULT IDirect3DRMDevice::SetQuality(D3DRMRENDERQUALITY value) {
  quality = value;
  return S_OK;
}

D3DRMRENDERQUALITY IDirect3DRMDevice::GetQuality() {
  return quality;
}

DWORD IDirect3DRMDevice::GetWidth() {
  return surface != nullptr ? static_cast<DWORD>(std::max(surface->width, 0)) : 0;
}

DWORD IDirect3DRMDevice::GetHeight() {
  return surface != nullptr ? static_cast<DWORD>(std::max(surface->height, 0)) : 0;
}

HRESULT IDirect3DRMDevice::SetShades(DWORD value) {
  if (value == 0) return E_INVALIDARG;
  shades = value;
  return S_OK;
}

HRESULT IDirect3DRMDevice::Update() {
  return S_OK;
}

IDirect3DRMViewport::~IDirect3DRMViewport() {
  if (camera != nullptr) camera->Release();
  if (device != nullptr) device->Release();
}

HRESULT IDirect3DRMViewport::SetBack(D3DVALUE value) {
  if (!Finite(value) || !(value > 0)) return E_INVALIDARG;
  back = value;
  return S_OK;
}

HRESULT IDirect3DRMViewport::SetFront(D3DVALUE value) {
  if (!Finite(value) || !(value > 0)) return E_INVALIDARG;
  front = value;
  return S_OK;
}

HRESULT IDirect3DRMViewport::SetField(D3DVALUE value) {
  if (!Finite(value) || !(value > 0)) return E_INVALIDARG;
  field = value;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// The factory

HRESULT IDirect3DRM::CreateFrame(IDirect3DRMFrame* parent, IDirect3DRMFrame** frame) {
  if (frame == nullptr) return E_INVALIDARG;
  auto* f = new IDirect3DRMFrame;
  if (parent != nullptr) parent->AddChild(f);
  *frame = f;
  return S_OK;
}

HRESULT IDirect3DRM::CreateMeshBuilder(IDirect3DRMMeshBuilder** builder) {
  if (builder == nullptr) return E_INVALIDARG;
  *builder = new IDirect3DRMMeshBuilder;
  return S_OK;
}

HRESULT IDirect3DRM::CreateLightRGB(D3DRMLIGHTTYPE type, D3DVALUE red, D3DVALUE green,
                                    D3DVALUE blue, IDirect3DRMLight** light) {
  if (light == nullptr || type < D3DRMLIGHT_AMBIENT || type > D3DRMLIGHT_PARALLELPOINT)
    return E_INVALIDARG;
  if (!Finite(red) || !Finite(green) || !Finite(blue)) return E_INVALIDARG;
  auto* l = new IDirect3DRMLight;
  l->type = type;
  l->red = red;
  l->green = green;
  l->blue = blue;
  *light = l;
  return S_OK;
}

HRESULT IDirect3DRM::CreateDeviceFromSurface(GUID*, IDirectDraw*, IDirectDrawSurface* surface,
                                             IDirect3DRMDevice** device) {
  if (device == nullptr || surface == nullptr) return E_INVALIDARG;
  if (surface->width <= 0 || surface->height <= 0 || surface->pitch < surface->width ||
      surface->pixels.size() < static_cast<size_t>(surface->pitch) * surface->height)
    return E_INVALIDARG;
  auto* d = new IDirect3DRMDevice;
  surface->AddRef();
  d->surface = surface;
  d->depth.assign(static_cast<size_t>(surface->width) * surface->height, 0.0f);
  *device = d;
  return S_OK;
}

HRESULT IDirect3DRM::CreateViewport(IDirect3DRMDevice* device, IDirect3DRMFrame* camera, DWORD x,
                                    DWORD y, DWORD width, DWORD height,
                                    IDirect3DRMViewport** viewport) {
  if (viewport == nullptr || device == nullptr || camera == nullptr) return E_INVALIDARG;
  const uint64_t right = uint64_t(x) + width, bottom = uint64_t(y) + height;
  if (width == 0 || height == 0 || right > device->GetWidth() || bottom > device->GetHeight())
    return E_INVALIDARG;
  auto* v = new IDirect3DRMViewport;
  device->AddRef();
  camera->AddRef();
  v->device = device;
  v->camera = camera;
  v->x = static_cast<int>(x);
  v->y = static_cast<int>(y);
  v->width = static_cast<int>(width);
  v->height = static_cast<int>(height);
  *viewport = v;
  return S_OK;
}

HRESULT IDirect3DRM::SetDefaultTextureShades(DWORD) {
  return S_OK;
}

HRESULT IDirect3DRM::SetDefaultTextureColors(DWORD) {
  return S_OK;
}

HRESULT Direct3DRMCreate(IDirect3DRM** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = new IDirect3DRM;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Device enumeration

namespace {

D3DDeviceOffer MakeOffer(uint32_t id, const char* description, const char* name,
                         D3DCOLORMODEL model) {
  D3DDeviceOffer offer;
  offer.guid.data1 = id;
  offer.guid.data2 = 0x3d3d;
  offer.guid.data3 = 0x0001;
  std::snprintf(offer.description, sizeof offer.description, "%s", description);
  std::snprintf(offer.name, sizeof offer.name, "%s", name);
  offer.hardware.dcmColorModel = 0;
  offer.software.dcmColorModel = model;
  return offer;
}

std::vector<D3DDeviceOffer> DefaultOffers() {
  return {MakeOffer(0x52474221, "Software rasteriser, full colour", "RGB Emulation", D3DCOLOR_RGB),
          MakeOffer(0x52414d50, "Software rasteriser, mono ramp", "Ramp Emulation", D3DCOLOR_MONO)};
}

std::vector<D3DDeviceOffer>& Offers() {
  static std::vector<D3DDeviceOffer> offers = DefaultOffers();
  return offers;
}

}  // namespace

void SetOfferedDevices(const std::vector<D3DDeviceOffer>& devices) {
  Offers() = devices;
}

void RestoreOfferedDevices() {
  Offers() = DefaultOffers();
}

HRESULT IDirect3D::EnumDevices(LPD3DENUMDEVICESCALLBACK callback, void* context) {
  if (callback == nullptr) return E_INVALIDARG;
  // The callback gets writable copies, so nothing it does can change the list being offered.
  const std::vector<D3DDeviceOffer> offers = Offers();
  for (const D3DDeviceOffer& offer : offers) {
    D3DDeviceOffer copy = offer;
    copy.description[sizeof copy.description - 1] = 0;
    copy.name[sizeof copy.name - 1] = 0;
    if (callback(&copy.guid, copy.description, copy.name, &copy.hardware, &copy.software,
                 context) == D3DENUMRET_CANCEL)
      break;
  }
  return S_OK;
}

IDirect3D* CreateDirect3D(IDirectDraw*) {
  return new IDirect3D;
}
