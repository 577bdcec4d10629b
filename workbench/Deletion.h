// The second tab's two ways of removing data: every table entry with the code
// typed into EdKodPopr, and the statements of a loaded deletion script.
#pragma once

#include "workbench/UpdateForm.h"

#include <string>

// Deletes the KOD_TABL rows with the code of EdKodPopr. A code KOD_TABL does
// not hold shows "Данной расценки не существует в базе" and deletes nothing
// (returns false). A failing delete writes an error line. A failing existence
// query propagates.
bool DeleteCorrection(UpdateForm& form);

// Runs each piece of Memo1 that ends in "^" as a statement, reporting every
// one in MemoDelete; text after the last "^" is not run.
void RunDeletionScript(UpdateForm& form);

// The name shown for a script statement: the text after the first
// "where kod_pvr=", at most as many characters as that phrase's position
// (counted from 1); empty when the phrase is absent.
std::string DeletionStatementName(const std::string& statement);
