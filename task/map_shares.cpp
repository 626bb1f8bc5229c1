#include "task/map_shares.h"

void map_shares(const FeasibilityMap& map, MapShares& shares) {
  long reach = 0, touch = 0, clear = 0, blocked = 0, moved = 0, methodB = 0;
  for (const MapCell& c : map.cells) {
    if (c.cls == kMapUnreachable) continue;
    reach++;
    touch += c.cls == kMapTouch;
    clear += c.cls == kMapClear;
    blocked += c.cls == kMapBlocked;
    moved += c.motion == kMapMotionStraight || c.motion == kMapMotionPlanned;
    methodB += c.methodBFinal;
  }
  auto percent = [reach](long n) { return reach > 0 ? 100.0 * n / reach : 0; };
  shares = {reach,          percent(touch),  percent(clear), percent(blocked),
            percent(moved), percent(methodB)};
}
