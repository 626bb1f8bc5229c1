// Every goal pose at once in the shell: 'A' runs the complete placement solver on the scene,
// prints its table and shows the first pose; 'n' shows the next one. The pose shown is the
// motion's goal, so 'C' and 's' play the motion to it.
#pragma once

// 'A': scene.calcMode = 'A'; solves, prints the table, shows pose 1 (or the initial pose and the
// reason when there is none).
void all_solutions_key();

// 'n' while the solutions are shown: the next one, wrapping round, with its table line.
void next_solution_key();
