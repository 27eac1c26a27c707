// Time on Windows: the performance counter, the local time and pauses that
// keep the surface's window served.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>

#include "platform/clock.h"
#include "platform/win32/win32_host.h"

namespace platform {
namespace {

bool gFineTimer = false;

double counterFrequency() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return frequency;
}

}  // namespace

double clockSeconds() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / counterFrequency();
}

std::optional<TimeOfDay> localTimeOfDay() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return TimeOfDay{t.wHour, t.wMinute, t.wSecond};
}

void pause(int milliseconds) {
  win32::useFineTimerResolution();
  const double end = clockSeconds() + std::max(milliseconds, 0) / 1000.0;
  const bool wakeOnKey = milliseconds >= 100;
  for (;;) {
    // Served before the first wait: what was drawn shows during this pause.
    win32::serveWindow();
    if (wakeOnKey && win32::keyEntryWaiting()) return;
    const double left = end - clockSeconds();
    if (left <= 0.0) return;
    const auto wait = static_cast<DWORD>(std::ceil(left * 1000.0));
    if (win32::surfaceWindow()) {
      MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    } else {
      Sleep(wait);
    }
  }
}

namespace win32 {

void useFineTimerResolution() {
  if (gFineTimer) return;
  gFineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
}

void giveBackTimerResolution() {
  if (gFineTimer) timeEndPeriod(1);
  gFineTimer = false;
}

}  // namespace win32
}  // namespace platform
