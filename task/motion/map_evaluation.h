// What the feasibility map shows at one goal on the floor: the complete placement solver's
// outcome and Method B's, run without a window from the initial pose.
#pragma once

#include "task/map_data.h"

// The map's evaluator (task/feasibility_map.h): robot type `type`, the scene's wall edge and
// boxes, goal underside at (x, y, 0) in the goal orientation. The class: touch when a touching pose
// exists, clear when only clear ones do, blocked when positioned poses all cut into the wall (or
// none passes its check), unreachable otherwise; the counts; and whether Method B reaches a final
// pose within kMethodBMaxSteps steps (its step count), the wall's contact arm taken as the wall
// dialog and then the 'B' key take it. Re-entrant: every state is its own.
void evaluate_map_cell(int type, const Workcell& scene, double x, double y, MapCell& cell);
