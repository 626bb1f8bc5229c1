// The console table of the complete placement solver's poses (key 'A', --solve).
#pragma once

#include <cstdio>
#include <string>

#include "contact/placement.h"

// The heading with the counts, then one numbered line per pose: kind (接触 with the touching
// arm, 離隔 with its margin), joints 1..7, joint distance from the initial pose, clearance,
// position and orientation error; or the reason when there is none. cell is the workcell solved
// for (its boxes' names for the reason).
void print_placement_table(const PlacementResult& result, const Workcell& cell, FILE* out);

// Why there is no pose, in one English sentence; with the smallest depth, the body and what it
// cuts into when every positioned pose cuts in (a box by its name in cell).
std::string placement_reason(const PlacementResult& result, const Workcell& cell);

// Line `index` (0-based) of the table alone, as 'n' prints it.
void print_placement_line(const PlacementResult& result, int index, FILE* out);
