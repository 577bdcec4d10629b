// The file pickers of the task window behind a small interface: the window
// asks through it, the Qt side shows QFileDialog, tests answer from a script.
// Filters are written as the host framework writes them:
// "Description|pattern|Description|pattern".
#pragma once

#include <optional>
#include <string>

class FileDialog {
public:
    virtual ~FileDialog() = default;
    // The chosen file (a full path), or nullopt when the user cancelled.
    // fileMustExist: only names of existing files are accepted.
    virtual std::optional<std::string> Open(const std::string& filter, bool fileMustExist) = 0;
    // As Open for the save dialog; the platform's save dialog takes the
    // file-must-exist option but does not enforce it.
    virtual std::optional<std::string> Save(const std::string& filter, bool fileMustExist) = 0;
};

// The host filter in Qt's syntax: "Patches|*.xml" gives "Patches (*.xml)",
// and "(*.xml)|*.xml", whose description already shows the pattern, gives
// "(*.xml)"; several pairs are joined with ";;". A description without its
// pattern is kept as it is.
std::string QtNameFilters(const std::string& hostFilter);
