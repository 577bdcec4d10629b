// The two journal commands of the task window's popup menu: saving the update
// journal MemoLog to a text file and clearing it. Both act on MemoLog,
// whichever journal the menu was opened on.
#pragma once

#include "workbench/UpdateForm.h"

#include <string>

// Saves MemoLog as `chosenName` + ".txt" (also when the name already ends in
// ".txt"). A file already named `chosenName` is first moved, under its bare
// name (no folder, no extension) plus ".txt", into the current folder; the
// move never replaces a file that is there already (it is then skipped). On
// success the line "Сохранили диагностику в файл <name>.txt" goes to MemoLog
// and the host log and is the file's last line; when the file cannot be
// created or written an error line beginning "Ошибка" with the reason goes to
// both instead. Returns whether the file was written.
bool SaveJournal(UpdateForm& form, const std::string& chosenName);

// Empties MemoLog and leaves the one line "Очистили журнал" in it. Nothing
// goes to the host log.
void ClearJournal(UpdateForm& form);

// The name an existing file is moved to: its bare name plus ".txt", no folder.
std::string JournalBackupName(const std::string& chosenName);

// Moves `from` to `to` unless `to` exists; never replaces a file. Returns
// false (errno set) when it did not move.
bool MoveWithoutReplacing(const std::string& from, const std::string& to);
