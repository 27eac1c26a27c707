// The configuration screen's sliders and buttons: their places, how they
// are drawn, and what the left mouse button does on them.
//
// Places are given as a text column and row (8 pixels each). Sliders 1, 2
// and 3 show the settings positions "videomax", "darkmax" and "dotmode":
// a slider's position and the settings position are one value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora {

inline constexpr int kWidgetSlots = 10;

struct SliderWidget {
  std::int32_t x = 0;              // left end of the track
  std::int32_t y = 0;              // top edge of the knob
  std::int32_t captionColumn = 0;  // text column of the caption
  std::int32_t captionRow = 0;     // text row of the caption
  std::int32_t thickness = 0;      // knob size and horizontal hit margin
  std::int32_t length = 0;         // track length
  std::int32_t position = 0;       // 0..99
  std::int32_t captionValue = 0;   // what the caption drawn at creation showed
  std::int32_t active = 0;         // non-zero: in use and hit-tested
};

struct ButtonWidget {
  std::int32_t x = 0;  // left edge
  std::int32_t y = 0;  // top edge
  std::int32_t height = 0;
  std::int32_t width = 0;
  std::int32_t active = 0;
};

// Ten widget slots, counted from 1.
template <typename Widget>
struct WidgetTable {
  std::array<Widget, kWidgetSlots> slots{};

  static constexpr bool holds(int slot) { return slot >= 1 && slot <= kWidgetSlots; }
  Widget& operator[](int slot) { return slots.at(static_cast<std::size_t>(slot - 1)); }
  const Widget& operator[](int slot) const { return slots.at(static_cast<std::size_t>(slot - 1)); }
};

extern WidgetTable<SliderWidget> sliderTable;
extern WidgetTable<ButtonWidget> buttonTable;

// Fill a slot and draw the widget: label, outline, and for a slider its
// knob and caption. A slot outside 1..10 is left alone.
void createSlider(int slot, int column, int row, const char* label);
void createButton(int slot, int column, int row, const char* label);

// The left button held at (mx, my), in window pixels: the first slider hit
// takes the position under the pointer (its settings position and the
// values derived from it change with it), and the first button hit acts:
// "Save" (slot 1) saves the settings and ends the process, "Cancel" (slot
// 2) ends it, both with exit code 0.
void dragSliders(int mx, int my);
void pressButtons(int mx, int my);

// Both tables back to their start values (for tests).
void resetWidgets();

}  // namespace velmora
