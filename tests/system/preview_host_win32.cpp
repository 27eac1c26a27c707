// A host for the screensaver's preview, as the display settings dialog is
// one: it makes a window, starts the screensaver with "/p" and the window's
// handle, checks the child window that appears inside it, then destroys its
// window and checks that the screensaver ends with exit code 0 within a
// second. Handles that name no window must end the screensaver at once.
//
//   velmora-preview-host.exe <screensaver path>
//
// It prints one line per check and exits with 0 when all of them held, 1
// otherwise (2 on a wrong command line).
//
// The child's pixels are not checked here: Wine draws a child window only
// when its parent lives in the same process. The unit tests check the real
// window's pixels with a host of their own.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int gFailures = 0;

void check(bool held, const std::string& what) {
  std::printf("%s: %s\n", held ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!held) ++gFailures;
}

// Serves this thread's windows for about `milliseconds`: the screensaver's
// child sends its parent messages (WM_PARENTNOTIFY) that wait for us.
void pumpFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
  } while (GetTickCount() - start < milliseconds);
}

// Serves windows until `process` ends or `milliseconds` pass; the exit code,
// or STILL_ACTIVE.
DWORD waitForExit(HANDLE process, DWORD milliseconds, DWORD* waited) {
  const DWORD start = GetTickCount();
  while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT && GetTickCount() - start < milliseconds) pumpFor(2);
  *waited = GetTickCount() - start;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process, &code);
  return code;
}

struct Started {
  PROCESS_INFORMATION info{};
  bool ok = false;
};

Started startScreensaver(const std::string& program, const std::string& arguments) {
  std::string commandLine = "\"" + program + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  Started started;
  started.ok = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &started.info) != 0;
  return started;
}

void finish(Started& started) {
  if (!started.ok) return;
  if (WaitForSingleObject(started.info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(started.info.hProcess, 99);
  CloseHandle(started.info.hThread);
  CloseHandle(started.info.hProcess);
}

std::string decimal(HWND window) { return std::to_string(static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window))); }

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND makeHostWindow() {
  return CreateWindowExA(0, "VelmoraPreviewHost", "preview host", WS_POPUP | WS_VISIBLE, 0, 0, 200, 150, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

BOOL CALLBACK countChild(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

void checkHandlesThatAreNoWindow(const std::string& program) {
  HWND stale = makeHostWindow();
  DestroyWindow(stale);
  const HWND madeUp = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x7FFF1234));
  for (HWND handle : {stale, madeUp}) {
    const std::string name = "\"/p " + decimal(handle) + "\" (no window)";
    check(!IsWindow(handle), name + ": the handle names no window");
    Started started = startScreensaver(program, "/p " + decimal(handle));
    check(started.ok, name + ": the screensaver starts");
    if (!started.ok) continue;
    DWORD waited = 0;
    const DWORD code = waitForExit(started.info.hProcess, 1000, &waited);
    check(code != STILL_ACTIVE, name + ": ends within a second (" + std::to_string(waited) + " ms)");
    check(code == 0, name + ": exit code " + std::to_string(code));
    finish(started);
  }
}

void checkPreviewInsideAHost(const std::string& program) {
  HWND host = makeHostWindow();
  check(host != nullptr, "the host window is made");
  if (!host) return;
  pumpFor(100);
  Started started = startScreensaver(program, "/p " + decimal(host));
  check(started.ok, "the screensaver starts with /p " + decimal(host));
  if (!started.ok) return;

  HWND child = nullptr;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 10000) {
    child = FindWindowExA(host, nullptr, "Quorvane ScreenSaver", nullptr);
    if (child && IsWindowVisible(child)) break;
    pumpFor(5);
  }
  check(child != nullptr && IsWindowVisible(child), "a visible child of class \"Quorvane ScreenSaver\" appears");
  if (child) {
    int children = 0;
    EnumChildWindows(host, countChild, reinterpret_cast<LPARAM>(&children));
    check(children == 1, "the host has one child (" + std::to_string(children) + ")");
    DWORD owner = 0;
    GetWindowThreadProcessId(child, &owner);
    check(owner == started.info.dwProcessId, "the child belongs to the screensaver's process");
    check(GetDlgCtrlID(child) == 9999, "child identifier " + std::to_string(GetDlgCtrlID(child)));
    check(GetWindowLongA(child, GWL_ID) == 9999, "GWL_ID " + std::to_string(GetWindowLongA(child, GWL_ID)));
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, host, reinterpret_cast<POINT*>(&rect), 2);
    check(rect.left == 0 && rect.top == 0, "at (" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ")");
    check(rect.right - rect.left == 152 && rect.bottom - rect.top == 112,
          "size " + std::to_string(rect.right - rect.left) + " x " + std::to_string(rect.bottom - rect.top));
    RECT client{};
    GetClientRect(child, &client);
    check(client.right == 152 && client.bottom == 112, "client area 152 x 112");
    const DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    check((style & WS_CHILD) && !(style & (WS_CAPTION | WS_POPUP)), "a child window without caption");
  }

  pumpFor(1000);  // several ticks
  check(WaitForSingleObject(started.info.hProcess, 0) == WAIT_TIMEOUT, "the preview runs while its host lives");

  DestroyWindow(host);
  DWORD waited = 0;
  const DWORD code = waitForExit(started.info.hProcess, 1000, &waited);
  check(code != STILL_ACTIVE, "the screensaver ends within a second of the host's end (" + std::to_string(waited) +
                                  " ms)");
  check(code == 0, "exit code " + std::to_string(code));
  finish(started);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: velmora-preview-host <screensaver path>\n");
    return 2;
  }
  WNDCLASSA hostClass{};
  hostClass.lpfnWndProc = hostWindowProc;
  hostClass.hInstance = GetModuleHandleA(nullptr);
  hostClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  hostClass.lpszClassName = "VelmoraPreviewHost";
  RegisterClassA(&hostClass);

  checkHandlesThatAreNoWindow(argv[1]);
  checkPreviewInsideAHost(argv[1]);
  std::printf("%d check(s) failed\n", gFailures);
  return gFailures == 0 ? 0 : 1;
}
