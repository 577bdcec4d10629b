// The two schema stages at the start of an update run: bringing one-digit last
// segments of table codes to two digits, and widening the norm-name column.
// Neither is part of the save transaction.
#pragma once

#include "workbench/UpdateForm.h"

#include <string>
#include <utility>
#include <vector>

class pvr;

// Lists every table code it will change ("Изменили поправку X на Y"), then
// changes them. A failing update writes an error line and the stage goes on;
// a failing listing (also: a connection named neither "OracleConnection" nor
// "IBConnection", which has no listing text) propagates.
void RenumberCorrectionCodes(UpdateForm& form);

// Widens KOD_PVR.NAIM_PVR to 400 characters. A failure writes an error line
// and does not propagate. In a dry run the column is left as it is: its width
// is read and the journal says what the widening would do (an error line when
// it cannot be read or is wider than 400 already, which the widening refuses).
void WidenNormName(UpdateForm& form);

// Widens KOD_PVR.NAIM_PVR to this many characters.
constexpr int kNormNameWidth = 400;

// For a dry run, which cannot widen the column (the widening would take
// effect only at a commit, and on Oracle it would commit): while it lives, the
// name of every norm of Base that fits NAIM_PVR only once it is widened is cut
// to the column's present width, so that the save writes what the widened
// column would take and a name no longer than the new width is not a failure.
// Each such norm is listed in the report. Does nothing on a real run or when
// the dry run's WidenNormName could not read the width.
// A dry run's save writes KOD_PVR.NAIM_PVR at its present width, so a name
// too long even for the widened column fails as in the real run, but the
// engine's message states the present width ("expected length 250", Oracle's
// "maximum: 250"). This answers `message` with the widened width in its place,
// which is the message the real run gets; any other message, and any message
// of a real run, comes back as it is.
std::string AsAfterWidening(const UpdateForm& form, const std::string& message);

class NamesFittedToColumn {
public:
    explicit NamesFittedToColumn(UpdateForm& form);
    // Puts the names back.
    ~NamesFittedToColumn();
    NamesFittedToColumn(const NamesFittedToColumn&) = delete;
    NamesFittedToColumn& operator=(const NamesFittedToColumn&) = delete;

private:
    std::vector<std::pair<pvr*, std::string>> m_cut; // norm, its whole name
};
