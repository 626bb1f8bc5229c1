// The shares of a feasibility map's reachable cells in each outcome, in percent, for the
// picture's titles and the --map summary.
#pragma once

#include "task/map_data.h"

struct MapShares {
  long reach;      // cells in reach (every class but kMapUnreachable)
  double touch;    // with a touching pose
  double clear;    // with clear poses only
  double blocked;  // every pose cuts into the wall
  double moved;    // a valid goal pose reached by a collision-free motion
  double methodB;  // Method B reaches a final pose
};

// Counts map's cells in reach and the percentage of them in each outcome (all 0 when none is
// in reach).
void map_shares(const FeasibilityMap& map, MapShares& shares);
