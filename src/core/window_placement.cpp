#include "core/window_placement.h"

#include "platform/text.h"

namespace vm {

namespace {
constexpr int kMinWindowSide = 50;
}

std::optional<WindowPlacement> parsePlacement(const std::string& value) {
  auto parts = split(value, ',');
  if (parts.size() != 10) return std::nullopt;
  int v[10];
  for (std::size_t i = 0; i < 10; ++i) {
    std::string s = parts[i];
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    if (s.empty() || s.size() > 9) return std::nullopt;
    std::size_t k = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (k == s.size()) return std::nullopt;
    for (std::size_t j = k; j < s.size(); ++j)
      if (s[j] < '0' || s[j] > '9') return std::nullopt;
    v[i] = static_cast<int>(leadingNumber(s));
  }
  WindowPlacement p{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]};
  return p;
}

std::string formatPlacement(const WindowPlacement& p) {
  return format("%d,%d,%d,%d,%d,%d,%d,%d,%d,%d", p.flags, p.showState, p.minX, p.minY, p.maxX, p.maxY, p.left,
                p.top, p.right, p.bottom);
}

void storePlacement(Settings& settings, const WindowPlacement& p) {
  if (p.showState == 2 || p.showState == 6) return;
  const std::string value = formatPlacement(p);
  if (settings.text(setting::WindowPosition) != value) settings.set(setting::WindowPosition, value);
}

RestorePlan restorePlanFor(const std::string& stored, int screenWidth, int screenHeight, int taskbarHeight) {
  RestorePlan plan;
  auto p = parsePlacement(stored);
  if (!p) return plan;
  bool maximised = p->showState == 3;
  if (!maximised && p->right <= 0 && p->bottom <= 0) return plan;
  int usableHeight = screenHeight - taskbarHeight;
  plan.left = (p->left >= 0 && p->left <= screenWidth) ? p->left : 0;
  plan.top = (p->top >= 0 && p->top <= screenHeight) ? p->top : 0;
  plan.right = (p->right < 0 || p->right > screenWidth) ? screenWidth : (p->right == 0 ? 150 : p->right);
  plan.bottom = (p->bottom < 0 || p->bottom > usableHeight) ? usableHeight : (p->bottom == 0 ? 150 : p->bottom);
  plan.maximised = maximised;
  // A rectangle too small to use (or turned inside out) falls back to the default.
  if (!maximised && (plan.right - plan.left < kMinWindowSide || plan.bottom - plan.top < kMinWindowSide))
    return RestorePlan{};
  plan.useDefault = false;
  return plan;
}

}  // namespace vm
