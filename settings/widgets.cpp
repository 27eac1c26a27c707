#include "settings/widgets.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/display.h"
#include "platform/process.h"
#include "present/text.h"
#include "settings/settings.h"

namespace velmora {

WidgetTable<SliderWidget> sliderTable;
WidgetTable<ButtonWidget> buttonTable;

namespace {

constexpr int kCellWidth = 8;
constexpr int kRowHeight = 8;
constexpr int kCaptionColumnOffset = 14;
constexpr std::int32_t kTrackLength = 100;
constexpr std::int32_t kKnobSize = 8;
constexpr std::int32_t kButtonWidth = 64;
constexpr std::int32_t kButtonHeight = 16;
// Text sits 4 pixels above its row; drawText starts its cells 2 lower.
constexpr int kTextRise = 4;
constexpr std::int32_t kHighestPosition = 99;

constexpr int kPlaySlidesSlot = 1;
constexpr int kDarkScreenSlot = 2;
constexpr int kScreenModeSlot = 3;
constexpr int kSaveSlot = 1;
constexpr int kCancelSlot = 2;

int textWidth(const char* text) { return static_cast<int>(std::string_view(text).size()) * kCellWidth; }

// The Settings position a slider slot shows, if it shows one.
std::int32_t* settingsPositionOf(int slot) {
  switch (slot) {
    case kPlaySlidesSlot:
      return &settings.videomax;
    case kDarkScreenSlot:
      return &settings.darkmax;
    case kScreenModeSlot:
      return &settings.dotmode;
    default:
      return nullptr;
  }
}

// Seconds as three digits with leading zeros (the last three characters of
// the value plus 1000), then " SEC".
std::string secondsCaption(std::int32_t seconds) {
  const std::string digits = std::to_string(std::int64_t{seconds} + 1000);
  return digits.substr(digits.size() - std::min<std::size_t>(3, digits.size())) + " SEC";
}

std::string brightnessCaption(bool bright) { return bright ? "BRIGHT" : "DARKEN"; }

void drawCaption(const SliderWidget& slider, const std::string& caption) {
  drawText(slider.captionColumn * kCellWidth, slider.captionRow * kRowHeight - kTextRise, caption.c_str());
}

platform::IntRect knobAt(const SliderWidget& slider, std::int32_t position) {
  const int left = slider.x + position - 2;
  return {left, slider.y, left + slider.thickness - 1, slider.y + slider.thickness - 1};
}

bool sliderHit(const SliderWidget& s, std::int64_t mx, std::int64_t my) {
  return std::int64_t{s.x} - s.thickness < mx && mx < std::int64_t{s.x} + s.length + s.thickness &&
         std::int64_t{s.y} - 2 < my && my < std::int64_t{s.y} + s.thickness + 2;
}

bool buttonHit(const ButtonWidget& b, std::int64_t mx, std::int64_t my) {
  return b.x < mx && mx < std::int64_t{b.x} + b.width && b.y < my && my < std::int64_t{b.y} + b.height;
}

}  // namespace

void createSlider(int slot, int column, int row, const char* label) {
  if (!WidgetTable<SliderWidget>::holds(slot)) return;
  drawText((column - static_cast<int>(std::string_view(label).size())) * kCellWidth - kCellWidth,
           row * kRowHeight - kTextRise, label);

  SliderWidget& slider = sliderTable[slot];
  slider.captionRow = row;
  slider.captionColumn = column + kCaptionColumnOffset;
  slider.active = 1;
  slider.x = column * kCellWidth;
  slider.y = row * kRowHeight;
  slider.length = kTrackLength;
  slider.thickness = kKnobSize;
  std::int32_t* shown = settingsPositionOf(slot);
  slider.position = std::clamp(shown ? *shown : slider.position, 0, kHighestPosition);
  if (shown) *shown = slider.position;
  switch (slot) {
    case kPlaySlidesSlot:
      slider.captionValue = settings.slideSeconds;
      break;
    case kDarkScreenSlot:
      slider.captionValue = settings.darkSeconds;
      break;
    case kScreenModeSlot:
      slider.captionValue = settings.isBright ? -1 : 0;
      break;
    default:
      slider.captionValue = 0;
      break;
  }

  const int half = slider.thickness / 2;
  platform::drawBox({slider.x - half, slider.y - 2, slider.x - half + slider.thickness + slider.length + 3,
                     slider.y - 2 + slider.thickness + 3},
                    platform::kWhite);
  platform::fillBox(knobAt(slider, slider.position), platform::kWhite);

  if (slot == kPlaySlidesSlot || slot == kDarkScreenSlot) {
    drawCaption(slider, secondsCaption(slider.captionValue));
  } else if (slot == kScreenModeSlot) {
    drawCaption(slider, brightnessCaption(slider.captionValue != 0));
  }
}

void createButton(int slot, int column, int row, const char* label) {
  if (!WidgetTable<ButtonWidget>::holds(slot)) return;
  drawText(column * kCellWidth + kButtonWidth / 2 - textWidth(label) / 2, row * kRowHeight - kTextRise, label);

  ButtonWidget& button = buttonTable[slot];
  button.active = 1;
  button.x = column * kCellWidth;
  button.y = row * kRowHeight - kTextRise;
  button.width = kButtonWidth;
  button.height = kButtonHeight;
  platform::drawBox({button.x, button.y, button.x + button.width - 1, button.y + button.height - 1}, platform::kWhite);
}

void dragSliders(int mx, int my) {
  for (int slot = 1; slot <= kWidgetSlots; ++slot) {
    SliderWidget& slider = sliderTable[slot];
    if (!slider.active || !sliderHit(slider, mx, my)) continue;

    const std::int64_t offset = std::int64_t{mx} - slider.x;
    const auto v = static_cast<std::int32_t>(std::clamp<std::int64_t>(offset, 0, kHighestPosition));
    platform::fillBox(knobAt(slider, slider.position), platform::kOpaqueBlack);
    slider.position = v;
    switch (slot) {
      case kPlaySlidesSlot:
        setVideomax(v);
        drawCaption(slider, secondsCaption(settings.slideSeconds));
        break;
      case kDarkScreenSlot:
        setDarkmax(v);
        drawCaption(slider, secondsCaption(settings.darkSeconds));
        break;
      case kScreenModeSlot:
        setDotmode(v);
        drawCaption(slider, brightnessCaption(settings.isBright));
        break;
      default:
        break;
    }
    platform::fillBox(knobAt(slider, v), platform::kWhite);
    return;
  }
}

void pressButtons(int mx, int my) {
  for (int slot = 1; slot <= kWidgetSlots; ++slot) {
    const ButtonWidget& button = buttonTable[slot];
    if (!button.active || !buttonHit(button, mx, my)) continue;
    if (slot == kSaveSlot) {
      saveSettings();
      platform::exitProcess(0);
    }
    if (slot == kCancelSlot) platform::exitProcess(0);
    return;
  }
}

void resetWidgets() {
  sliderTable = {};
  buttonTable = {};
}

}  // namespace velmora
