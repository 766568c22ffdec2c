// Windows, the message queue, the millisecond clock and the process exit on SDL2, or headless.
//
// The queue holds what the system delivers: key and mouse input and the window manager's close,
// translated from SDL events whenever the queue is looked at, plus whatever tests post. The quit
// flag of PostQuitMessage is not a queued message: it is seen before any waiting input, as on
// Windows, so a destroyed window ends the game at the very next pump.
#include "platform/win.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/gamepad.h"

struct Window {
  WNDPROC proc = nullptr;
  std::string caption;
  DWORD style = 0;
  DWORD exStyle = 0;
  int width = 0;  // the drawing area
  int height = 0;
  bool fullScreen = false;
  bool visible = false;
  bool destroying = false;
  SDL_Window* sdl = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;  // the last frame shown, kept to repaint after an expose
  int textureWidth = 0;
  int textureHeight = 0;
};

const char* const IDC_ARROW = "IDC_ARROW";

namespace {

// The frame the layer draws around a drawing area, as the system metrics report it.
constexpr int kBorderX = 1, kBorderY = 1, kCaption = 18;

struct ScheduledMessage {
  DWORD time;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct RegisteredClass {
  WNDCLASSA info;
  ATOM atom;
};

struct State {
  bool headless = false;
  std::map<std::string, RegisteredClass> classes;
  ATOM nextAtom = 0xC000;
  std::vector<std::unique_ptr<Window>> windows;  // open windows, oldest first
  std::deque<MSG> queue;
  bool quitPending = false;
  int quitCode = 0;
  std::function<void(int)> exitHandler;
  std::string lastError;
  std::vector<SDL_Surface*> icons;  // every icon handed out
  UINT keyAlias[256];               // what each key of the keyboard arrives as
  int presentCount = 0;
  // Headless operation.
  DWORD clock = 0;
  std::vector<ScheduledMessage> scheduled;  // in order of time, then of posting
  std::function<void()> pumpHook;
  bool inPumpHook = false;
  bool hasTimeLimit = false;
  DWORD timeLimit = 0;
  std::vector<uint32_t> lastFrame;
  int lastFrameWidth = 0;
  int lastFrameHeight = 0;
};

void ClearKeyAliases(State& s) {
  for (UINT key = 0; key < 256; ++key) s.keyAlias[key] = key;
}

// Never destroyed: windows and icons stay valid through the exit processing of the program.
State& S() {
  static State* state = [] {
    auto* s = new State;
    ClearKeyAliases(*s);
    return s;
  }();
  return *state;
}

Window* Live(HWND window) {
  if (!window) return nullptr;
  for (auto& w : S().windows)
    if (w.get() == window) return w.get();
  return nullptr;
}

Window* WindowOfSdlId(Uint32 id) {
  for (auto& w : S().windows)
    if (w->sdl && SDL_GetWindowID(w->sdl) == id) return w.get();
  return nullptr;
}

void CloseSdl(Window& w) {
  if (w.texture) SDL_DestroyTexture(w.texture);
  if (w.renderer) SDL_DestroyRenderer(w.renderer);
  if (w.sdl) SDL_DestroyWindow(w.sdl);
  w.texture = nullptr;
  w.renderer = nullptr;
  w.sdl = nullptr;
}

// Signed distance from the clock to `time`, for comparisons that survive the clock's wrap.
int32_t Until(DWORD time) {
  return static_cast<int32_t>(time - S().clock);
}

void Enqueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg;
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = timeGetTime();
  S().queue.push_back(msg);
}

// Shows the window's last frame: integer-scaled, centred, black around it.
void Repaint(Window& w) {
  if (!w.renderer) return;
  SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
  SDL_RenderClear(w.renderer);
  if (w.texture) {
    int outW = 0, outH = 0;
    if (SDL_GetRendererOutputSize(w.renderer, &outW, &outH) != 0) {
      outW = w.width;
      outH = w.height;
    }
    PicturePlacement place = PlacePicture(outW, outH, w.textureWidth, w.textureHeight);
    SDL_Rect dest{place.x, place.y, place.width, place.height};
    SDL_RenderCopy(w.renderer, w.texture, nullptr, &dest);
  }
  SDL_RenderPresent(w.renderer);
}

// A point of the window (in SDL's window coordinates) as a point of its drawing area: the
// picture may be scaled, letterboxed and, on high-DPI displays, drawn in finer pixels than the
// window's coordinates.
POINT DrawingAreaPointOf(const Window* w, int x, int y) {
  POINT p{x, y};
  if (!w || !w->sdl || !w->renderer) return p;
  int windowW = 0, windowH = 0, outW = 0, outH = 0;
  SDL_GetWindowSize(w->sdl, &windowW, &windowH);
  if (SDL_GetRendererOutputSize(w->renderer, &outW, &outH) != 0 || windowW < 1 || windowH < 1)
    return p;
  int pictureW = w->texture ? w->textureWidth : w->width;
  int pictureH = w->texture ? w->textureHeight : w->height;
  return PicturePointOf(PlacePicture(outW, outH, pictureW, pictureH),
                        static_cast<int>(static_cast<int64_t>(x) * outW / windowW),
                        static_cast<int>(static_cast<int64_t>(y) * outH / windowH));
}

// Moves what SDL has for us into the queue: the keyboard, the mouse and the window manager's
// messages for the open window, and the gamepads.
void TranslateSdlEvents() {
  if (gamepad_input::AnyOpen() && !SDL_WasInit(SDL_INIT_GAMECONTROLLER)) gamepad_input::Lost();
  if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        UINT vk = DeliveredKeyOfScancode(e.key.keysym.scancode);
        if (vk == 0) break;
        bool down = e.type == SDL_KEYDOWN;
        Enqueue(WindowOfSdlId(e.key.windowID), down ? WM_KEYDOWN : WM_KEYUP, vk,
                gamepad_input::KeyLParam(down, e.key.repeat != 0));
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
        // Anywhere in the window, the black border included; the position is the drawing
        // area's.
        if (e.button.button == SDL_BUTTON_RIGHT) {
          Window* w = WindowOfSdlId(e.button.windowID);
          POINT p = DrawingAreaPointOf(w, e.button.x, e.button.y);
          Enqueue(w, WM_RBUTTONDOWN, 0,
                  static_cast<LPARAM>((static_cast<uint32_t>(p.y & 0xFFFF) << 16) |
                                      static_cast<uint32_t>(p.x & 0xFFFF)));
        }
        break;
      case SDL_CONTROLLERDEVICEADDED:
      case SDL_CONTROLLERDEVICEREMOVED:
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
      case SDL_CONTROLLERAXISMOTION:
        gamepad_input::HandleEvent(e);
        break;
      case SDL_WINDOWEVENT: {
        Window* w = WindowOfSdlId(e.window.windowID);
        if (!w) break;
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) Enqueue(w, WM_CLOSE, 0, 0);
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED ||
            e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
          Repaint(*w);
        break;
      }
      default:
        break;
    }
  }
}

// Moves scheduled input whose time has come into the queue.
void DeliverDue() {
  auto& s = S();
  size_t due = 0;
  while (due < s.scheduled.size() && Until(s.scheduled[due].time) <= 0) ++due;
  for (size_t i = 0; i < due; ++i)
    Enqueue(nullptr, s.scheduled[i].message, s.scheduled[i].wParam, s.scheduled[i].lParam);
  s.scheduled.erase(s.scheduled.begin(), s.scheduled.begin() + static_cast<long>(due));
}

void Gather() {
  if (S().headless) DeliverDue();
  TranslateSdlEvents();
  gamepad_input::DeliverRepeats();
}

// Milliseconds until `time` by the clock, at least 0.
DWORD MillisecondsUntil(DWORD time) {
  return static_cast<DWORD>(std::max<int32_t>(0, static_cast<int32_t>(time - timeGetTime())));
}

// Moves the virtual clock forward by `milliseconds`, unless that passes the test's time limit.
void AdvanceVirtualClock(DWORD milliseconds) {
  auto& s = S();
  if (s.hasTimeLimit && static_cast<int64_t>(milliseconds) > Until(s.timeLimit))
    throw std::runtime_error("headless clock: waiting past the time limit");
  s.clock += milliseconds;
  DeliverDue();
}

bool Waiting() {
  return S().quitPending || !S().queue.empty();
}

// Takes or looks at the next message. Input for no particular window goes to the open one.
bool NextMessage(MSG* msg, bool remove) {
  auto& s = S();
  Gather();
  if (s.quitPending) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = static_cast<WPARAM>(s.quitCode);
    msg->time = timeGetTime();
    if (remove) s.quitPending = false;
    return true;
  }
  if (s.queue.empty()) return false;
  *msg = s.queue.front();
  if (!msg->hwnd) msg->hwnd = ActiveWindow();
  if (remove) s.queue.pop_front();
  return true;
}

// Only drivers that show something to a person: without a display, SDL would otherwise fall back
// to its offscreen driver and the game would run where nobody can see it. A driver named in
// SDL_VIDEODRIVER is used as asked.
void ChooseVideoDrivers() {
  if (SDL_getenv("SDL_VIDEODRIVER")) return;
  // Looking for Wayland without a runtime directory only makes its library complain on stderr.
  bool wayland = SDL_getenv("WAYLAND_DISPLAY") || SDL_getenv("XDG_RUNTIME_DIR");
  std::string drivers;
  for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
    std::string name = SDL_GetVideoDriver(i);
    if (name == "offscreen" || name == "dummy" || name == "evdev") continue;
    if (name == "wayland" && !wayland) continue;
    if (!drivers.empty()) drivers += ',';
    drivers += name;
  }
  if (!drivers.empty()) SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
}

bool OpenSdlWindow(Window& w, int x, int y) {
  auto& s = S();
  if (!SDL_WasInit(SDL_INIT_VIDEO)) {
    // Ctrl+C in a terminal keeps ending the program the usual way.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A click that gives the window the focus is a click like any other: SDL would drop it when
    // it is read together with the focus change, as after the loading, which pumps no messages.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    ChooseVideoDrivers();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      s.lastError = std::string("no display could be opened (") + SDL_GetError() + ")";
      return false;
    }
    // Keys only, no text: no input method may take the players' keys.
    SDL_StopTextInput();
  }
  // Gamepads are welcome but not needed.
  if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
  // The picture is drawn in the display's own pixels (integer-scaled in Repaint), so a high-DPI
  // display shows it sharp; a window may be made larger than the drawing area, never smaller.
  Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
  if (w.fullScreen)
    flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  else
    flags |= SDL_WINDOW_RESIZABLE;
  int px = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : x;
  int py = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : y;
  int width = w.width, height = w.height;
  SDL_Rect desktop;
  if (w.fullScreen && SDL_GetDisplayBounds(0, &desktop) == 0) {
    // Made as large as the desktop from the start, so that the window covers the screen even
    // where no window manager turns it into a full-screen one.
    px = desktop.x;
    py = desktop.y;
    width = desktop.w;
    height = desktop.h;
  }
  w.sdl = SDL_CreateWindow(w.caption.c_str(), px, py, width, height, flags);
  if (!w.sdl) {
    s.lastError = std::string("the window could not be opened (") + SDL_GetError() + ")";
    return false;
  }
  if (!w.fullScreen) SDL_SetWindowMinimumSize(w.sdl, w.width, w.height);
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // A window shows the picture one pixel for one: SDL's software renderer hands it to the window
  // system as it is, where an accelerated renderer (Mesa's software GL where there is no GPU, as
  // under Xvfb) costs several times more for the same picture. Full screen scales the picture up,
  // which the accelerated renderer does best. The window's framebuffer must not itself go through
  // GL, which SDL would otherwise choose.
  if (!w.fullScreen) {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    w.renderer = SDL_CreateRenderer(w.sdl, -1, SDL_RENDERER_SOFTWARE);
  }
  if (!w.renderer) w.renderer = SDL_CreateRenderer(w.sdl, -1, 0);
  if (!w.renderer) w.renderer = SDL_CreateRenderer(w.sdl, -1, SDL_RENDERER_SOFTWARE);
  if (!w.renderer) {
    s.lastError = std::string("the window cannot be drawn (") + SDL_GetError() + ")";
    CloseSdl(w);
    return false;
  }
  return true;
}

}  // namespace

namespace gamepad_input {

void EnqueueInput(UINT message, WPARAM wParam, LPARAM lParam) {
  Enqueue(nullptr, message, wParam, lParam);
}

LPARAM KeyLParam(bool down, bool repeat) {
  uint32_t bits = 1;  // repeat count
  if (repeat || !down) bits |= 1u << 30;
  if (!down) bits |= 1u << 31;
  return static_cast<LPARAM>(bits);
}

}  // namespace gamepad_input

HICON LoadIconA(HINSTANCE, const char* name) {
  if (!name) return nullptr;
  std::string file = "data/";
  for (const char* c = name; *c; ++c)
    file += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  file += ".bmp";
  // Null when missing, unreadable or not a regular file.
  std::FILE* stream = OpenRegularFileStream(file.c_str());
  SDL_RWops* source = stream ? SDL_RWFromFP(stream, SDL_TRUE) : nullptr;
  if (stream && !source) std::fclose(stream);
  SDL_Surface* icon = source ? SDL_LoadBMP_RW(source, 1) : nullptr;
  if (icon) S().icons.push_back(icon);
  return icon;
}

HCURSOR LoadCursorA(HINSTANCE, const char* name) {
  static int arrow;
  return name == IDC_ARROW ? &arrow : nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  auto& s = S();
  if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
      !*windowClass->lpszClassName)
    return 0;
  std::string name = windowClass->lpszClassName;
  if (s.classes.count(name)) return 0;
  RegisteredClass entry{*windowClass, s.nextAtom++};
  entry.info.lpszClassName = nullptr;
  entry.info.lpszMenuName = nullptr;
  s.classes[name] = entry;
  return entry.atom;
}

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* caption, DWORD style, int x,
                     int y, int width, int height, HWND, HMENU, HINSTANCE, void*) {
  auto& s = S();
  s.lastError.clear();
  auto found = s.classes.find(className ? className : "");
  if (found == s.classes.end()) {
    s.lastError = "the window class is not registered";
    return nullptr;
  }
  auto w = std::make_unique<Window>();
  w->proc = found->second.info.lpfnWndProc;
  w->caption = caption ? caption : "";
  w->style = style;
  w->exStyle = exStyle;
  w->fullScreen = (style & WS_POPUP) != 0;
  w->width = width - 2 * kBorderX - 4;
  w->height = height - 2 * kBorderY - kCaption - 4;
  if (w->width < 1 || w->height < 1) {
    s.lastError = "the window is too small";
    return nullptr;
  }
  if (!s.headless) {
    if (!OpenSdlWindow(*w, x, y)) return nullptr;
    if (auto* icon = static_cast<SDL_Surface*>(found->second.info.hIcon))
      SDL_SetWindowIcon(w->sdl, icon);
  }
  Window* window = w.get();
  s.windows.push_back(std::move(w));
  window->proc(window, WM_CREATE, 0, 0);
  return window;
}

BOOL ShowWindow(HWND window, int) {
  Window* w = Live(window);
  if (!w) return FALSE;
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  w->visible = true;
  if (w->sdl) {
    SDL_ShowWindow(w->sdl);
    SDL_RaiseWindow(w->sdl);
  }
  return wasVisible;
}

BOOL UpdateWindow(HWND window) {
  Window* w = Live(window);
  if (!w) return FALSE;
  Repaint(*w);
  return TRUE;
}

BOOL DestroyWindow(HWND window) {
  Window* w = Live(window);
  if (!w || w->destroying) return FALSE;
  w->destroying = true;
  w->proc(w, WM_DESTROY, 0, 0);
  CloseSdl(*w);
  auto& windows = S().windows;
  windows.erase(std::find_if(windows.begin(), windows.end(),
                             [w](const std::unique_ptr<Window>& p) { return p.get() == w; }));
  return TRUE;
}

BOOL IsWindow(HWND window) {
  return Live(window) ? TRUE : FALSE;
}

POINT ClientOriginOf(HWND window) {
  POINT p;
  Window* w = Live(window);
  if (!w || w->fullScreen) return p;
  if (w->sdl) {
    SDL_GetWindowPosition(w->sdl, &p.x, &p.y);
  } else {
    p.x = HeadlessWindowLeft + kBorderX + 2;
    p.y = HeadlessWindowTop + kCaption + kBorderY + 2;
  }
  return p;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  Window* w = Live(window);
  if (!w || !rect) return FALSE;
  POINT origin = ClientOriginOf(window);
  rect->left = origin.x - kBorderX - 2;
  rect->top = origin.y - kCaption - kBorderY - 2;
  rect->right = rect->left + w->width + 2 * kBorderX + 4;
  rect->bottom = rect->top + w->height + 2 * kBorderY + kCaption + 4;
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  Window* w = Live(window);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->width, w->height};
  return TRUE;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXBORDER:
      return kBorderX;
    case SM_CYBORDER:
      return kBorderY;
    case SM_CYCAPTION:
      return kCaption;
    default:
      return 0;
  }
}

void PostQuitMessage(int exitCode) {
  S().quitPending = true;
  S().quitCode = exitCode;
}

BOOL PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT removeFlags) {
  auto& s = S();
  if (s.pumpHook && !s.inPumpHook) {
    s.inPumpHook = true;
    try {
      s.pumpHook();
    } catch (...) {
      s.inPumpHook = false;
      throw;
    }
    s.inPumpHook = false;
  }
  return NextMessage(msg, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* msg, HWND, UINT, UINT) {
  auto& s = S();
  while (!NextMessage(msg, true)) {
    DWORD repeat = 0;
    const bool repeats = gamepad_input::NextRepeat(&repeat);
    if (s.headless) {
      if (s.scheduled.empty() && !repeats)
        throw std::runtime_error("headless queue: no message will come");
      DWORD step =
          s.scheduled.empty() ? MillisecondsUntil(repeat) : s.scheduled.front().time - s.clock;
      if (repeats) step = std::min(step, MillisecondsUntil(repeat));
      AdvanceVirtualClock(step);
    } else if (SDL_WasInit(SDL_INIT_EVENTS)) {
      if (repeats)
        SDL_WaitEventTimeout(nullptr,
                             static_cast<int>(std::min<DWORD>(MillisecondsUntil(repeat), INT_MAX)));
      else
        SDL_WaitEvent(nullptr);
    } else {
      throw std::runtime_error("message queue: no window, no message will come");
    }
  }
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) {
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  Window* w = Live(msg->hwnd);
  if (!w) return 0;
  return w->proc(w, msg->message, msg->wParam, msg->lParam);
}

void PostInput(UINT message, WPARAM wParam, LPARAM lParam) {
  Enqueue(nullptr, message, wParam, lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) DestroyWindow(window);
  return 0;
}

void WaitMessageTimeout(DWORD milliseconds) {
  auto& s = S();
  Gather();
  if (Waiting() || milliseconds == 0) return;
  // A held gamepad direction's next repeat ends the wait too.
  DWORD repeat = 0;
  if (gamepad_input::NextRepeat(&repeat))
    milliseconds = std::max<DWORD>(1, std::min(milliseconds, MillisecondsUntil(repeat)));
  if (s.headless) {
    DWORD step = milliseconds;
    if (!s.scheduled.empty()) step = std::min<DWORD>(step, s.scheduled.front().time - s.clock);
    AdvanceVirtualClock(step);
  } else if (SDL_WasInit(SDL_INIT_EVENTS)) {
    SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<DWORD>(milliseconds, INT_MAX)));
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

DWORD timeGetTime() {
  if (S().headless) return S().clock;
  // Milliseconds since the system started, cut to 32 bits: the count wraps every 49.7 days.
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void ExitProcess(int exitCode) {
  if (S().exitHandler) {
    auto handler = S().exitHandler;
    handler(exitCode);
  }
  std::exit(exitCode);
}

void SetExitHandler(std::function<void(int)> handler) {
  S().exitHandler = std::move(handler);
}

HWND ActiveWindow() {
  auto& windows = S().windows;
  return windows.empty() ? nullptr : windows.back().get();
}

void PresentPixels(HWND window, const uint32_t* pixels, int width, int height, int pitch) {
  auto& s = S();
  Window* w = Live(window);
  if (!w || !pixels || width < 1 || height < 1 || pitch < width) return;
  ++s.presentCount;
  if (s.headless) {
    s.lastFrame.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
      std::copy_n(pixels + static_cast<size_t>(y) * static_cast<size_t>(pitch), width,
                  s.lastFrame.begin() + static_cast<long>(y) * width);
    s.lastFrameWidth = width;
    s.lastFrameHeight = height;
    return;
  }
  if (!w->renderer) return;
  if (!w->texture || w->textureWidth != width || w->textureHeight != height) {
    if (w->texture) SDL_DestroyTexture(w->texture);
    w->texture = SDL_CreateTexture(w->renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                   width, height);
    w->textureWidth = width;
    w->textureHeight = height;
    if (!w->texture) return;
  }
  SDL_UpdateTexture(w->texture, nullptr, pixels, pitch * static_cast<int>(sizeof(uint32_t)));
  Repaint(*w);
}

const char* LastWindowError() {
  return S().lastError.c_str();
}

void SetKeyAlias(UINT key, UINT deliveredAs) {
  if (key < 256) S().keyAlias[key] = deliveredAs;
}

UINT DeliveredKeyOfScancode(int scancode) {
  UINT key = VirtualKeyOfScancode(scancode);
  return key < 256 ? S().keyAlias[key] : key;
}

PicturePlacement PlacePicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight) {
  PicturePlacement place;
  if (pictureWidth < 1 || pictureHeight < 1) return place;
  place.scale = std::max(1, std::min(areaWidth / pictureWidth, areaHeight / pictureHeight));
  place.width = pictureWidth * place.scale;
  place.height = pictureHeight * place.scale;
  place.x = (areaWidth - place.width) / 2;
  place.y = (areaHeight - place.height) / 2;
  return place;
}

POINT PicturePointOf(const PicturePlacement& place, int areaX, int areaY) {
  // Rounded down, so that the border left of and above the picture gives negative positions.
  auto down = [](int value, int scale) {
    return value >= 0 ? value / scale : -((-value + scale - 1) / scale);
  };
  int scale = std::max(1, place.scale);
  return POINT{down(areaX - place.x, scale), down(areaY - place.y, scale)};
}

namespace HeadlessControl {

void Enable(DWORD startTime) {
  auto& s = S();
  gamepad_input::Reset();
  ClearKeyAliases(s);
  for (auto& w : s.windows) CloseSdl(*w);
  s.windows.clear();
  s.classes.clear();
  for (SDL_Surface* icon : s.icons) SDL_FreeSurface(icon);
  s.icons.clear();
  s.queue.clear();
  s.quitPending = false;
  s.quitCode = 0;
  s.lastError.clear();
  s.presentCount = 0;
  s.headless = true;
  s.clock = startTime;
  s.scheduled.clear();
  s.pumpHook = nullptr;
  s.hasTimeLimit = false;
  s.timeLimit = 0;
  s.lastFrame.clear();
  s.lastFrameWidth = 0;
  s.lastFrameHeight = 0;
}

bool Enabled() {
  return S().headless;
}

void SetClock(DWORD now) {
  S().clock = now;
}

void AdvanceClock(DWORD milliseconds) {
  S().clock += milliseconds;
}

void Post(UINT message, WPARAM wParam, LPARAM lParam) {
  Enqueue(nullptr, message, wParam, lParam);
}

void PostAt(DWORD time, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& s = S();
  auto at = std::find_if(s.scheduled.begin(), s.scheduled.end(),
                         [&](const ScheduledMessage& m) { return Until(m.time) > Until(time); });
  s.scheduled.insert(at, ScheduledMessage{time, message, wParam, lParam});
}

void SetPumpHook(std::function<void()> hook) {
  S().pumpHook = std::move(hook);
}

void SetTimeLimit(DWORD time) {
  S().hasTimeLimit = true;
  S().timeLimit = time;
}

int PresentCount() {
  return S().presentCount;
}

const uint32_t* LastPresentedPixels(int* width, int* height) {
  auto& s = S();
  if (width) *width = s.lastFrameWidth;
  if (height) *height = s.lastFrameHeight;
  return s.lastFrame.empty() ? nullptr : s.lastFrame.data();
}

}  // namespace HeadlessControl
