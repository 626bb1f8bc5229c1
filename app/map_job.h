// The window's feasibility map job ('M'): the map of the current type and wall computed on
// worker threads while the window stays live, then shown on the floor (render/map_overlay.h)
// under the robot until 'M' again, a change of robot or a change of wall hides it.
#pragma once

#include "task/feasibility_map.h"

// 'M': hides a shown map; otherwise builds the grid of the scene's type and wall and starts
// evaluating its cells on worker threads (every core), with its progress in the console, and
// returns at once. floor_map_poll shows the map once they are done. Does nothing while a map is
// being computed.
void floor_map_key();

// Hides the map (a new robot or wall makes it stale).
void hide_floor_map();

// Whether a map is being computed: from 'M' until floor_map_poll, floor_map_wait or
// floor_map_cancel has ended it. Meanwhile the scene must stay as it is (the keyboard ignores
// every key but ESC).
bool floor_map_computing();

// Cells evaluated so far and cells to evaluate of the map being computed (both 0 when none is).
void floor_map_progress(long& done, long& total);

// For the main loop while a map is being computed: when the workers are done, joins them and,
// if the map is complete, shows it and prints the console's closing line. Returns whether the
// computation ended (the frame must be redrawn).
bool floor_map_poll();

// Waits for the map being computed and ends the computation as floor_map_poll does. Kept for the
// tests, which cannot wait on the window's idle loop.
void floor_map_wait();

// Stops the map being computed: the workers finish the cells they are on and skip the rest, and
// nothing is shown. Also run at exit, so that no worker outlives the program's data.
void floor_map_cancel();

// The evaluation of one cell the computation uses (app/feasibility_map.h), for tests that need
// it fast or paced; nullptr restores the map's own (evaluate_map_cell). Not while computing.
void floor_map_use_evaluator(MapCellEvaluator evaluate);

// A key the keyboard ignored while the map is being computed, so the window can say so; -1 when
// none was since 'M'.
void floor_map_note_ignored_key(unsigned char key);
int floor_map_ignored_key();
