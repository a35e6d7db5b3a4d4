#pragma once
// The main window's placement as kept under WindowPosition, and where the
// window goes at start.
#include <optional>
#include <string>

#include "core/settings_catalogue.h"

namespace vm {

// flags, show state (1 normal, 2 minimised, 3 maximised), minimised x y,
// maximised x y, normal left top right bottom.
struct WindowPlacement {
  int flags = 0;
  int showState = 1;
  int minX = 0, minY = 0, maxX = 0, maxY = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
};

// What the shell should do with the window at start.
struct RestorePlan {
  bool useDefault = true;  // leave the window where the platform puts it
  bool maximised = false;
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Parses a WindowPosition value; nullopt when it is not ten numbers.
std::optional<WindowPlacement> parsePlacement(const std::string& value);
std::string formatPlacement(const WindowPlacement& p);
// The stored value fitted to the screen; the default place when it is
// missing, broken or too small to use.
// Keeps the window's placement under WindowPosition; a minimised window is
// never stored, and an unchanged one is not written again.
void storePlacement(Settings& settings, const WindowPlacement& p);
RestorePlan restorePlanFor(const std::string& stored, int screenWidth, int screenHeight, int taskbarHeight);

}  // namespace vm
