// The Renderer: start-up with its device table, teardown, the scene-object operations and their
// angle conventions, rendering the views and presenting them.
#include "render/renderer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "frontend/title.h"
#include "match/match.h"
#include "platform/raster.h"
#include "shell/options.h"
#include "support/headless.h"

namespace {

void ExpectVector(const D3DVECTOR& v, double x, double y, double z, double tolerance = 1e-6) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

D3DVECTOR Forward(FrameHandle f) {
  return {f->transform.m[2][0], f->transform.m[2][1], f->transform.m[2][2]};
}
D3DVECTOR Position(FrameHandle f) {
  return {f->transform.m[3][0], f->transform.m[3][1], f->transform.m[3][2]};
}

// A model file: a square of side 2 round the origin facing -z, in white.
std::string SquareModel() {
  const std::string path =
      ::testing::TempDir() + std::to_string(getpid()) + "-renderer_test_square.x";
  std::ofstream out(path);
  out << "xof 0302txt 0032\n"
         "Mesh square {\n 4;\n -1.0;1.0;0.0;, 1.0;1.0;0.0;, 1.0;-1.0;0.0;, -1.0;-1.0;0.0;;\n"
         " 1;\n 4;0,1,2,3;;\n}\n";
  return path;
}

D3DDeviceOffer Offer(const char* name, D3DCOLORMODEL hardware, D3DCOLORMODEL software) {
  D3DDeviceOffer o;
  std::snprintf(o.name, sizeof o.name, "%s", name);
  o.guid.data1 = static_cast<uint32_t>(name[0]) << 8 | static_cast<uint32_t>(name[1]);
  o.hardware.dcmColorModel = hardware;
  o.software.dcmColorModel = software;
  return o;
}

class RendererTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    RestoreOfferedDevices();
    deviceCount = 0;
    firstDeviceTaken = 0;
    Renderer.Teardown();
    Renderer.Reset();
    baseline_ = RefCounted::LiveObjectCount();
  }
  void TearDown() override {
    Renderer.Teardown();
    Renderer.Reset();
    RestoreOfferedDevices();
    EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_) << "objects left alive";
    HeadlessTest::TearDown();
  }
  bool Start(int width = 320, int height = 240, int fullScreen = 0) {
    ScreenWidth = width;
    ScreenHeight = height;
    FullScreen = fullScreen;
    HWND window = OpenHeadlessWindow();
    EXPECT_NE(window, nullptr);
    return Renderer.Init(window, width, height, fullScreen);
  }
  long baseline_ = 0;
};

void ExpectView(IDirect3DRMViewport* v, int x, int y, int w, int h, FrameHandle camera,
                float back) {
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->x, x);
  EXPECT_EQ(v->y, y);
  EXPECT_EQ(v->width, w);
  EXPECT_EQ(v->height, h);
  EXPECT_EQ(v->camera, camera);
  EXPECT_EQ(v->back, back);
  EXPECT_EQ(v->front, 1.0f);
  EXPECT_EQ(v->field, 0.5f);
}

TEST_F(RendererTest, InitBuildsTheDisplaySceneAndViews) {
  ASSERT_TRUE(Start());
  EXPECT_EQ(Renderer.ready, 1);
  ExpectView(Renderer.viewLeft, 0, 0, 160, 240, Renderer.camera[0], 100);
  ExpectView(Renderer.viewRight, 160, 0, 160, 240, Renderer.camera[1], 100);
  ExpectView(Renderer.viewFull, 0, 0, 320, 240, Renderer.camera[0], 100);
  EXPECT_EQ(Renderer.device->surface, Renderer.backSurface);
  // What the pictures do not show (the golden sessions show the rest): the scene's light is held
  // by the scene alone, the clipper is bound to the window, the three surfaces share the palette.
  ASSERT_EQ(Renderer.scene->lights.size(), 1u);
  EXPECT_EQ(Renderer.scene->lights[0]->RefCount(), 1u);
  ASSERT_NE(Renderer.clipper, nullptr);
  EXPECT_EQ(Renderer.clipper->window, MainWindow);
  ASSERT_NE(Renderer.backSurface->palette, nullptr);
  EXPECT_EQ(Renderer.backSurface->palette->RefCount(), 3u);

  // Two software devices; the mono one is preferred.
  EXPECT_EQ(deviceCount, 2);
  EXPECT_EQ(Renderer.chosenDevice, 1);
}

TEST_F(RendererTest, LargeScreenHalvesAndFullScreenHasNoClipper) {
  ASSERT_TRUE(Start(640, 480, 1));  // the golden sessions show the views at this size
  EXPECT_EQ(Renderer.clipper, nullptr);
  // The overlay is drawn at 320 x 240 whatever the screen's size.
  EXPECT_EQ(Renderer.overlaySurface->width, 320);
  EXPECT_EQ(Renderer.overlaySurface->height, 240);
  EXPECT_EQ(Renderer.directDraw->cooperativeLevel, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
}

TEST_F(RendererTest, NoDeviceMeansNoStart) {
  SetOfferedDevices({});
  EXPECT_FALSE(Start());
  EXPECT_EQ(Renderer.ready, 0);
  EXPECT_EQ(deviceCount, 0);
}

TEST_F(RendererTest, AtMostFiveDevicesAreRecordedAndHardwareIsPreferred) {
  SetOfferedDevices({Offer("rgb", 0, D3DCOLOR_RGB), Offer("ramp", 0, D3DCOLOR_MONO),
                     Offer("hw1", D3DCOLOR_RGB, 0), Offer("ramp2", 0, D3DCOLOR_MONO),
                     Offer("hw2", D3DCOLOR_RGB | D3DCOLOR_MONO, 0), Offer("hw3", D3DCOLOR_RGB, 0),
                     Offer("ramp3", 0, D3DCOLOR_MONO)});
  ASSERT_TRUE(Start());
  EXPECT_EQ(deviceCount, 5);
  const char* names[] = {"rgb", "ramp", "hw1", "ramp2", "hw2"};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(DeviceRecords[i].name, names[i]);
  // The last hardware device among the five wins; the ramp after the first hardware one does not.
  EXPECT_EQ(Renderer.chosenDevice, 4);
  EXPECT_EQ(DeviceRecords[2].isHardware, 1);
  // A long name is cut to 99 characters.
  char longName[200];
  std::memset(longName, 'n', sizeof longName - 1);
  longName[199] = 0;
  deviceCount = 0;
  D3DDEVICEDESC none;
  int32_t chosen = 0;
  OnDeviceEnumerated(nullptr, longName, longName, &none, &none, &chosen);
  EXPECT_EQ(std::strlen(DeviceRecords[0].name), 99u);
  // A layer that offers more after the table is full is told to stop and nothing is written.
  deviceCount = DeviceRecordCount;
  EXPECT_EQ(OnDeviceEnumerated(nullptr, longName, longName, &none, &none, &chosen),
            D3DENUMRET_CANCEL);
  EXPECT_EQ(deviceCount, DeviceRecordCount);
}

TEST_F(RendererTest, TeardownReleasesEverythingOnceAndKeepsReady) {
  Renderer.Teardown();  // never initialised: nothing to release
  EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_);
  ASSERT_TRUE(Start());
  Renderer.Teardown();
  EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_);
  EXPECT_EQ(Renderer.scene, nullptr);
  EXPECT_EQ(Renderer.ready, 1);
  Renderer.Teardown();
  EXPECT_EQ(RefCounted::LiveObjectCount(), baseline_);
  // With ready still set but nothing left, drawing and presenting do nothing.
  Renderer.RenderPlayerViews();
  Renderer.RenderFullView();
  Renderer.ClearBackBuffer();
  Renderer.Present(0, 0);
  Renderer.Reset();
  EXPECT_EQ(Renderer.ready, 0);
}

// The angle conventions show in every frame of the golden sessions; what they never do is ask for
// a frame that is not there or a third player's camera.
TEST_F(RendererTest, AnglesForNoFrameOrAThirdPlayerAreIgnored) {
  ASSERT_TRUE(Start());
  Renderer.SetOrientationAngles(nullptr, 1, 2, 3);
  Renderer.SetCameraAngles(1, 0, 90, 0);
  Renderer.SetCameraPosition(1, 1, 2, 3);
  for (int player : {-1, 2}) {
    Renderer.SetCameraAngles(player, 0, 90, 0);
    Renderer.SetCameraPosition(player, 7, 7, 7);
  }
  ExpectVector(Forward(Renderer.camera[0]), 0, 0, 1);
  ExpectVector(Position(Renderer.camera[0]), 0, 0, 0);
  ExpectVector(Forward(Renderer.camera[1]), 1, 0, 0);
  ExpectVector(Position(Renderer.camera[1]), 1, 2, 3);
}

TEST_F(RendererTest, FrameAndModelSlots) {
  std::string why;  // before the Renderer has started, no model can be made
  ModelHandle early = nullptr;
  EXPECT_FALSE(Renderer.LoadModel(&early, "data/my.x", &why));
  EXPECT_EQ(why, "data/my.x: no model could be made");
  ASSERT_TRUE(Start());
  // A frame created into an occupied slot: the old one stays in the scene.
  FrameHandle slot = nullptr;
  ASSERT_TRUE(Renderer.CreateSceneFrame(&slot));
  FrameHandle old = slot;
  ASSERT_TRUE(Renderer.CreateSceneFrame(&slot));
  EXPECT_NE(slot, old);
  EXPECT_EQ(Renderer.scene->children.size(), 4u);
  EXPECT_EQ(old->RefCount(), 1u);  // the scene's
  Renderer.RemoveFromScene(old);   // releases it
  Renderer.RemoveFromScene(slot);
  EXPECT_EQ(slot->parent, nullptr);
  slot->Release();

  ModelHandle model = nullptr;
  EXPECT_FALSE(Renderer.LoadModel(&model, "no_such_model.x"));
  EXPECT_EQ(model, nullptr);
  ASSERT_TRUE(Renderer.LoadModel(&model, SquareModel().c_str()));
  EXPECT_TRUE(model->drawable);
  ModelHandle first = model;
  first->AddRef();
  EXPECT_FALSE(Renderer.LoadModel(&model, "no_such_model.x"));  // releases what the slot held
  EXPECT_EQ(model, nullptr);
  EXPECT_EQ(first->RefCount(), 1u);
  first->Release();
}

class PaletteTest : public RendererTest {
 protected:
  std::string Write(const std::vector<unsigned char>& bytes) {
    const std::string path =
        ::testing::TempDir() + std::to_string(getpid()) + "-renderer_test_pal.bmp";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  // A bitmap's headers with the given header size, bit count and colours used, then `entries`
  // colour-table entries where entry i is (blue i, green 2i, red 3i, reserved 7).
  std::vector<unsigned char> Bitmap(uint32_t headerSize, unsigned char bits, uint32_t used,
                                    int entries) {
    std::vector<unsigned char> b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put32(14, headerSize);
    b[28] = bits;
    put32(46, used);
    for (int i = 0; i < entries; ++i)
      b.insert(b.end(), {static_cast<unsigned char>(i), static_cast<unsigned char>(2 * i),
                         static_cast<unsigned char>(3 * i), 7});
    return b;
  }
  IDirectDrawPalette* Load(const std::string& path) {
    IDirectDrawPalette* p = LoadPalette(Renderer.directDraw, path.c_str());
    EXPECT_NE(p, nullptr);
    return p;
  }
  void ExpectDefault(const PALETTEENTRY& e, int i) {
    EXPECT_EQ(std::memcmp(&e, &fallback_->entries[i], 3), 0) << i;
  }
  void SetUp() override {
    RendererTest::SetUp();
    ASSERT_TRUE(Start());
    fallback_ = Load(::testing::TempDir() + "no_such_palette.bmp");
  }
  void TearDown() override {
    fallback_->Release();
    RendererTest::TearDown();
  }
  IDirectDrawPalette* fallback_ = nullptr;
};

// A missing file gives a fixed default of 256 distinct colours; a bitmap's colour table is swapped
// to red, green, blue for the entries it holds (colours used, else 2^bits), the default stands for
// the rest, and a malformed file gives the whole default.
TEST_F(PaletteTest, TheFileGivesWhatItHoldsAndTheDefaultTheRest) {
  // A 6 x 6 x 6 cube from black (blue counting fastest), then 40 greys up to white.
  for (const auto& [i, r, g, b] : {std::array{0, 0, 0, 0},
                                   {5, 0, 0, 255},
                                   {43, 51, 51, 51},
                                   {215, 255, 255, 255},
                                   {216, 6, 6, 6},
                                   {255, 255, 255, 255}}) {
    const PALETTEENTRY& e = fallback_->entries[i];
    EXPECT_EQ(std::vector<int>({e.peRed, e.peGreen, e.peBlue}), std::vector<int>({r, g, b})) << i;
  }
  for (int i = 1; i < 256; ++i)
    EXPECT_NE(std::memcmp(&fallback_->entries[i], &fallback_->entries[i - 1], 4), 0) << i;
  std::vector<unsigned char> cut = Bitmap(40, 8, 0, 6);
  cut.resize(cut.size() - 2);
  const struct {
    std::vector<unsigned char> bytes;
    int held;
  } cases[] = {{Bitmap(40, 8, 0, 256), 256},
               {Bitmap(40, 8, 3, 256), 3},
               {Bitmap(40, 4, 0, 256), 16},
               {cut, 5},
               {std::vector<unsigned char>(20, 0xAB), 0},
               {Bitmap(12, 8, 0, 256), 0},
               {Bitmap(40, 24, 0, 256), 0},
               {{}, 0}};
  testing::internal::CaptureStderr();  // more colours used than 8 bits hold: the 256, no fault
  Load(Write(Bitmap(40, 8, 300, 256)))->Release();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  testing::internal::CaptureStderr();
  Load(Write(Bitmap(40, 24, 0, 256)))->Release();
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                ": not a bitmap with a colour table (of 8 bits or fewer a pixel)\n"),
            std::string::npos);
  for (const auto& c : cases) {
    IDirectDrawPalette* p = Load(Write(c.bytes));
    for (int i = 0; i < 256; ++i) {
      if (i >= c.held) {
        ExpectDefault(p->entries[i], i);
        continue;
      }
      EXPECT_EQ(p->entries[i].peRed, static_cast<unsigned char>(3 * i)) << i;
      EXPECT_EQ(p->entries[i].peGreen, static_cast<unsigned char>(2 * i)) << i;
      EXPECT_EQ(p->entries[i].peBlue, static_cast<unsigned char>(i)) << i;
      EXPECT_EQ(p->entries[i].peFlags, 7) << i;
    }
    p->Release();
  }
  EXPECT_EQ(LoadPalette(nullptr, "pal.bmp"), nullptr);
}

}  // namespace
