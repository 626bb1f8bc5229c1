// The placement solver's sweep: theta over one turn on the grid of ps.h, each position branch
// followed from sample to sample (walked in smaller steps where it moves fast, bends hard, ends
// or begins), its touches (zeros and near-zero extrema of the clearance) and clear runs written
// to rec; then those as events, the poses to list. Angles in radians.
#pragma once

#include "contact/placement_solver.h"

namespace placement {

// The sweep over theta = -PI + j h, j = 0..samples (h = ps.h = 2 PI / samples), sample
// `samples` being sample 0 a turn on. Writes rec.
void sweep(const PlacementSetup& ps, PlacementRecords& rec, int samples);

// The events of a finished sweep: every touch, and one per clear family (runs joined across
// the seam) represented by its pose of largest score; none when an arm that never moves cuts
// in. Writes events[0..n-1] and returns n.
int collect_events(const PlacementSetup& ps, PlacementRecords& rec, Event events[kMaxEvents]);

}  // namespace placement
