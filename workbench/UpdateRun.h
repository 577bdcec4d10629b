// The update run of the first tab: price-level check, optional renumbering,
// widening of the norm-name column, reading and checking the patch, the save
// in one transaction, optional recalculation, and the closing line.
#pragma once

#include "workbench/UpdateForm.h"

// The run (the click handler of BitCalc). Returns the price level it read:
// 2 means the stages ran; 1 wrote the refusal line; any other value did
// nothing. Failures the stages do not catch propagate (the front end shows
// them): a price level that is not an integer, an unreadable or rejected
// patch, a failing check query, a failing renumbering listing.
int BitCalcClick(UpdateForm& form);

// Reads the patch named by EdPatch into a new Base and reports every table
// entry that KOD_TABL does not hold with the same code, number and name.
void LoadAndCheckPatch(UpdateForm& form);
// The two steps of LoadAndCheckPatch after its first journal line, apart so
// that a benchmark can time them: reading the file into a new Base, and the
// check of every table entry. REQUIRES for CheckPatch: Base is set.
void LoadPatch(UpdateForm& form);
void CheckPatch(UpdateForm& form);

// Saves Base in one transaction. A failure writes one error line and rolls the
// whole save back; it does not propagate. Returns true when the save committed.
bool SavePatch(UpdateForm& form);
