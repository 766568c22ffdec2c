// A retained-mode 3-D scene graph rendered in software: reference-counted frames, mesh builders
// loaded from ".x" files, lights, a device drawing into a display surface, and viewports.
//
// Transforms are 4x4 matrices in row-vector form: a point in the parent is the point in the child
// times the child's matrix; a frame's world matrix is its local matrix times its parent's world
// matrix. Axes are left-handed: x right, y up, z forward. A camera looks along its +z with +y up.
#pragma once

#include <vector>

#include "platform/com.h"
#include "platform/ddraw.h"
#include "platform/xfile.h"

using D3DVALUE = float;
struct D3DVECTOR {
  D3DVALUE x = 0, y = 0, z = 0;
};
using D3DCOLORMODEL = DWORD;
constexpr D3DCOLORMODEL D3DCOLOR_MONO = 1, D3DCOLOR_RGB = 2;

// A device description: only the colour model means anything here. Padded to the size the game's
// device table reserves for it.
struct D3DDEVICEDESC {
  DWORD dwSize = sizeof(D3DDEVICEDESC);
  DWORD dwFlags = 0;
  D3DCOLORMODEL dcmColorModel = 0;
  BYTE reserved[192] = {};
};
static_assert(sizeof(D3DDEVICEDESC) == 204);

constexpr HRESULT D3DENUMRET_CANCEL = 0, D3DENUMRET_OK = 1;
using LPD3DENUMDEVICESCALLBACK = HRESULT (*)(GUID* guid, char* description, char* name,
                                             D3DDEVICEDESC* hardware, D3DDEVICEDESC* software,
                                             void* context);

struct D3DDeviceOffer {
  GUID guid;
  char description[64] = {};
  char name[64] = {};
  D3DDEVICEDESC hardware;
  D3DDEVICEDESC software;
};

class IDirect3D : public RefCounted {
 public:
  // Offers every software device of the layer to the callback, in order, until it returns
  // D3DENUMRET_CANCEL.
  HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK callback, void* context);
};

// The devices the layer offers: by default an RGB device and a mono ("ramp") device, no hardware.
// Tests may replace the list (for example by an empty one, or by more than five devices).
void SetOfferedDevices(const std::vector<D3DDeviceOffer>& devices);
void RestoreOfferedDevices();

enum D3DRMLIGHTTYPE : int {
  D3DRMLIGHT_AMBIENT = 0,
  D3DRMLIGHT_POINT = 1,
  D3DRMLIGHT_SPOT = 2,
  D3DRMLIGHT_DIRECTIONAL = 3,
  D3DRMLIGHT_PARALLELPOINT = 4,
};
enum D3DRMCOMBINETYPE : int {
  D3DRMCOMBINE_REPLACE = 0,
  D3DRMCOMBINE_BEFORE = 1,
  D3DRMCOMBINE_AFTER = 2,
};

// Render quality: bits 0-2 shading (0 flat, 1 Gouraud), bits 3-5 lighting (0 off, 1 on), bits 6-8
// fill (0 points, 1 wireframe, 2 solid). Shading above 1 is drawn as Gouraud, lighting above 1 as
// on, fill above 2 as solid.
using D3DRMRENDERQUALITY = DWORD;
constexpr D3DRMRENDERQUALITY D3DRMRENDER_WIREFRAME = 0x40, D3DRMRENDER_UNLITFLAT = 0x80,
                             D3DRMRENDER_FLAT = 0x88, D3DRMRENDER_GOURAUD = 0x89;

constexpr DWORD D3DRMLOAD_FROMFILE = 0x00, D3DRMLOAD_FIRST = 0x00;

// What a viewport's Clear resets: the colour of its pixels, their depth, or both.
constexpr DWORD D3DRMCLEAR_TARGET = 0x01, D3DRMCLEAR_ZBUFFER = 0x02, D3DRMCLEAR_ALL = 0x03;

class IDirect3DRMFrame;

class IDirect3DRMMeshBuilder;

// Something a frame can show; only mesh builders draw anything.
class IDirect3DRMVisual : public RefCounted {
 public:
  virtual IDirect3DRMMeshBuilder* AsMeshBuilder() { return nullptr; }
};

class IDirect3DRMMeshBuilder : public IDirect3DRMVisual {
 public:
  XMesh mesh;
  bool perspective = false;
  // Why the last Load failed, starting with the file's path; empty after a load that worked.
  std::string loadError;
  // Loads the first mesh of a ".x" file named by `source` (a path). Fails, leaving the builder
  // empty, on any fault of the file.
  HRESULT Load(const void* source, const void* objectId, DWORD options, void* textureCallback,
               void* argument);
  HRESULT SetPerspective(BOOL enabled);
  IDirect3DRMMeshBuilder* AsMeshBuilder() override { return this; }

  // What drawing needs, worked out once from `mesh` by Prepare (which Load calls; call it again
  // after changing `mesh` by hand). A mesh whose indices do not fit its arrays draws nothing.
  bool drawable = false;
  std::vector<D3DVECTOR> faceNormal;   // unit normal of each polygon (zero when degenerate)
  std::vector<float> facePlane;        // faceNormal . (a vertex of the polygon)
  std::vector<uint32_t> faceColor;     // the polygon's material colour as a pixel
  std::vector<D3DVECTOR> shadeNormal;  // normals for Gouraud shading: the file's, else per vertex
  std::vector<uint32_t> cornerNormal;  // parallels mesh.faceIndices: index into shadeNormal
  // Parallels mesh.faceIndices: the edge from the corner to the polygon's next corner, numbered
  // 0 .. edgeCount - 1 so that polygons sharing an edge (either way round) share its number.
  std::vector<uint32_t> cornerEdge;
  uint32_t edgeCount = 0;
  D3DVECTOR center;  // bounding sphere
  D3DVALUE radius = 0;
  uint32_t largestPolygon = 0;  // most vertices of any polygon
  void Prepare();
};

class IDirect3DRMLight : public RefCounted {
 public:
  D3DRMLIGHTTYPE type = D3DRMLIGHT_AMBIENT;
  D3DVALUE red = 1, green = 1, blue = 1;
  D3DVALUE penumbra = 0, umbra = 0, linearAttenuation = 0;
  HRESULT SetPenumbra(D3DVALUE angle);
  HRESULT SetUmbra(D3DVALUE angle);
  HRESULT SetLinearAttenuation(D3DVALUE attenuation);
};

struct D3DRMMATRIX4D {
  D3DVALUE m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

// a x b: first a's transform, then b's.
D3DRMMATRIX4D D3DRMMatrixMultiply(const D3DRMMATRIX4D& a, const D3DRMMATRIX4D& b);
// The inverse of an affine matrix (last column 0, 0, 0, 1); a singular 3x3 part gives the identity.
D3DRMMATRIX4D D3DRMMatrixInverseAffine(const D3DRMMATRIX4D& a);
// A point (w = 1) and a direction (w = 0) times a matrix.
D3DVECTOR D3DRMTransformPoint(const D3DVECTOR& p, const D3DRMMATRIX4D& a);
D3DVECTOR D3DRMTransformDirection(const D3DVECTOR& d, const D3DRMMATRIX4D& a);

class IDirect3DRMFrame : public RefCounted {
 public:
  IDirect3DRMFrame* parent = nullptr;       // not referenced: the parent references us
  std::vector<IDirect3DRMFrame*> children;  // referenced
  std::vector<IDirect3DRMVisual*> visuals;  // referenced
  std::vector<IDirect3DRMLight*> lights;    // referenced
  D3DRMMATRIX4D transform;                  // relative to the parent
  D3DVALUE backgroundRed = 0, backgroundGreen = 0, backgroundBlue = 0;

  // Makes `child` a child of this frame, detaching it from a previous parent; takes a reference.
  // Adding a child twice is harmless.
  HRESULT AddChild(IDirect3DRMFrame* child);
  // Detaches the child and drops the reference; fails when it is not a child.
  HRESULT DeleteChild(IDirect3DRMFrame* child);
  // The frame shows the visual / carries the light; takes a reference; duplicates are ignored.
  HRESULT AddVisual(IDirect3DRMVisual* visual);
  HRESULT AddLight(IDirect3DRMLight* light);
  // Drop a visual or light the frame holds; fail when it holds none such.
  HRESULT DeleteVisual(IDirect3DRMVisual* visual);
  HRESULT DeleteLight(IDirect3DRMLight* light);
  // Position and orientation relative to the frame `reference` (null: the parent).
  HRESULT SetPosition(IDirect3DRMFrame* reference, D3DVALUE x, D3DVALUE y, D3DVALUE z);
  HRESULT GetPosition(IDirect3DRMFrame* reference, D3DVECTOR* position);
  // Turns the frame so that its +z points along dir and its +y along up (made perpendicular to
  // dir); keeps its position. Fails when up is parallel to dir.
  HRESULT SetOrientation(IDirect3DRMFrame* reference, D3DVALUE dx, D3DVALUE dy, D3DVALUE dz,
                         D3DVALUE ux, D3DVALUE uy, D3DVALUE uz);
  HRESULT GetOrientation(IDirect3DRMFrame* reference, D3DVECTOR* dir, D3DVECTOR* up);
  // REPLACE sets the matrix to the rotation (translation cleared); BEFORE is R x M (about the
  // frame's own axes); AFTER is M x R (about the parent's axes: the position turns too).
  HRESULT AddRotation(D3DRMCOMBINETYPE combine, D3DVALUE x, D3DVALUE y, D3DVALUE z, D3DVALUE theta);
  // The background of the whole tree (kept on its root), which viewports clear to.
  HRESULT SetSceneBackgroundRGB(D3DVALUE red, D3DVALUE green, D3DVALUE blue);
  HRESULT GetParent(IDirect3DRMFrame** parent);
  // The frame's matrix relative to the root of its tree.
  D3DRMMATRIX4D WorldTransform() const;
  IDirect3DRMFrame* Root();

 protected:
  ~IDirect3DRMFrame() override;  // releases children, visuals and lights
};

// Working storage of the renderer, kept by the device so that drawing allocates nothing once it
// has grown to the size of the scene.
struct D3DRMRenderScratch;

class IDirect3DRMDevice : public RefCounted {
 public:
  IDirectDrawSurface* surface = nullptr;  // referenced: the render target
  std::vector<float> depth;               // one value per surface pixel, 1 / z; 0 is far
  D3DRMRenderScratch* scratch = nullptr;  // owned
  D3DRMRENDERQUALITY quality = D3DRMRENDER_FLAT;
  DWORD shades = 32;
  HRESULT SetQuality(D3DRMRENDERQUALITY quality);
  D3DRMRENDERQUALITY GetQuality();
  DWORD GetWidth();
  DWORD GetHeight();
  HRESULT SetShades(DWORD shades);
  // Rendering goes straight into the surface, so there is nothing left to copy.
  HRESULT Update();

 protected:
  ~IDirect3DRMDevice() override;
};

class IDirect3DRMViewport : public RefCounted {
 public:
  IDirect3DRMDevice* device = nullptr;  // referenced
  IDirect3DRMFrame* camera = nullptr;   // referenced
  int x = 0, y = 0, width = 0, height = 0;
  D3DVALUE front = 1.0f, back = 100.0f, field = 0.5f;
  // Resets colour (to the camera's scene background) and depth inside the viewport's rectangle, or
  // only what `flags` names.
  HRESULT Clear(DWORD flags = D3DRMCLEAR_ALL);
  // Draws the tree below `scene` (the frame itself included) as seen from the camera, without
  // clearing. With s = max(w, h) / 2 and k = front / field, a camera-space point (x, y, z) lands
  // at screen (X0 + w / 2 + s k x / z, Y0 + h / 2 - s k y / z). Polygons are drawn as the file
  // gives them; back faces (counter-clockwise on screen) are skipped in every fill mode; what
  // crosses the front or back plane is clipped in camera space; the device's depth buffer decides
  // what is in front. The lights are those attached anywhere in the tree: ambient lights add
  // their colour, directional lights shine along their frame's +z axis; the lit colour is the
  // material's colour times (ambient + the sum of max(0, N . L) x light colour), clamped.
  // Flat shading lights each polygon by its normal, Gouraud each corner by its vertex normal;
  // wireframe draws every polygon's own edges and points its corners, in the unlit colour.
  // Point and spot lights are treated simply: see d3drm_render.cpp.
  HRESULT Render(IDirect3DRMFrame* scene);
  HRESULT SetBack(D3DVALUE back);
  HRESULT SetFront(D3DVALUE front);
  HRESULT SetField(D3DVALUE field);

 protected:
  ~IDirect3DRMViewport() override;
};

class IDirect3DRM : public RefCounted {
 public:
  HRESULT CreateFrame(IDirect3DRMFrame* parent, IDirect3DRMFrame** frame);
  HRESULT CreateMeshBuilder(IDirect3DRMMeshBuilder** builder);
  HRESULT CreateLightRGB(D3DRMLIGHTTYPE type, D3DVALUE red, D3DVALUE green, D3DVALUE blue,
                         IDirect3DRMLight** light);
  // The device draws into `surface` (32 bits per pixel); guid null lets the layer choose.
  HRESULT CreateDeviceFromSurface(GUID* guid, IDirectDraw* directDraw, IDirectDrawSurface* surface,
                                  IDirect3DRMDevice** device);
  HRESULT CreateViewport(IDirect3DRMDevice* device, IDirect3DRMFrame* camera, DWORD x, DWORD y,
                         DWORD width, DWORD height, IDirect3DRMViewport** viewport);
  HRESULT SetDefaultTextureShades(DWORD shades);
  HRESULT SetDefaultTextureColors(DWORD colours);
};

HRESULT Direct3DRMCreate(IDirect3DRM** out);
