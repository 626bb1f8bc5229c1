// The placement solver's result: each event's full poses (every oinv2 wrist) checked by forward
// kinematics, judged against the workcell, classified and listed in order, with the counts and
// the status. Angles in radians, lengths in model units.
#pragma once

#include "contact/placement_solver.h"

namespace placement {

// Writes the poses of events[0..nEvents-1] and the tallies of rec into result (whose counts
// start at 0) and sets its status; a pose that no event gives when every one cuts in is found
// near rec.leastDeep.
void assemble_result(const PlacementSetup& ps, PlacementRecords& rec, const Event events[],
                     int nEvents, PlacementResult& result);

}  // namespace placement
