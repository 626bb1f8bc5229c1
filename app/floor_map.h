// The feasibility map on the floor of the window ('M'): computed for the current type and wall,
// drawn under the robot until 'M' again, a change of robot or a change of wall hides it.
#pragma once

// 'M': hides a shown map; otherwise computes the map of the scene's type and wall on every core,
// with its progress in the console, and shows it.
void floor_map_key();

// Hides the map (a new robot or wall makes it stale).
void hide_floor_map();
