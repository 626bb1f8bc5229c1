// The shares of a map's reachable cells: counted here cell by cell from a grid laid out by hand.
#include "task/map_shares.h"

#include "support.h"

namespace {

MapCell cell(MapClass cls, bool methodB, MapMotion motion) {
  return {0, 0, cls, 0, 0, methodB, 0, motion};
}

// Ten cells in reach (four touch, three clear, three blocked; five moved, two Method B) and
// two out of reach, which no share counts; a map with nothing in reach gives zeros, not NaN.
TEST(MapShares, PercentOfTheCellsInReach) {
  FeasibilityMap map;
  map.cells = {
      cell(kMapTouch, true, kMapMotionStraight),      cell(kMapTouch, true, kMapMotionPlanned),
      cell(kMapTouch, false, kMapMotionNone),         cell(kMapTouch, false, kMapMotionStraight),
      cell(kMapClear, false, kMapMotionPlanned),      cell(kMapClear, false, kMapMotionNone),
      cell(kMapClear, false, kMapMotionUnset),        cell(kMapBlocked, false, kMapMotionStraight),
      cell(kMapBlocked, false, kMapMotionUnset),      cell(kMapBlocked, false, kMapMotionNone),
      cell(kMapUnreachable, true, kMapMotionPlanned), cell(kMapUnreachable, false, kMapMotionUnset),
  };
  MapShares shares;
  map_shares(map, shares);
  EXPECT_EQ(shares.reach, 10);
  // Tenths of a hundred are exact enough to compare to 1e-12.
  EXPECT_NEAR(shares.touch, 40, 1e-12);
  EXPECT_NEAR(shares.clear, 30, 1e-12);
  EXPECT_NEAR(shares.blocked, 30, 1e-12);
  EXPECT_NEAR(shares.moved, 50, 1e-12);
  EXPECT_NEAR(shares.methodB, 20, 1e-12);

  map.cells = {cell(kMapUnreachable, false, kMapMotionUnset)};
  map_shares(map, shares);
  EXPECT_EQ(shares.reach, 0);
  EXPECT_EQ(shares.touch + shares.clear + shares.blocked + shares.moved + shares.methodB, 0);
}

}  // namespace
