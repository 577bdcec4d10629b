// The two schema stages at the start of an update run: bringing one-digit last
// segments of table codes to two digits, and widening the norm-name column.
// Neither is part of the save transaction.
#pragma once

#include "workbench/UpdateForm.h"

// Lists every table code it will change ("Изменили поправку X на Y"), then
// changes them. A failing update writes an error line and the stage goes on;
// a failing listing (also: a connection named neither "OracleConnection" nor
// "IBConnection", which has no listing text) propagates.
void RenumberCorrectionCodes(UpdateForm& form);

// Widens KOD_PVR.NAIM_PVR to 400 characters. A failure writes an error line
// and does not propagate.
void WidenNormName(UpdateForm& form);
