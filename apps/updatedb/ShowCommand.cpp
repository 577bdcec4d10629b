// show: reads a patch document and prints its object tree as indented text.
#include "apps/updatedb/Commands.h"

#include "model/kod_pvr.h"

#include "Serialaze/TextTreeView.h"
#include "platform/text/StringList.h"

#include <iostream>

namespace cli {

int ShowCommand(const std::string& patchFile) {
    text::StringList lines;
    lines.LoadFromFile(patchFile);
    kod_pvr base;
    base.DeSerialize(lines);
    serialaze::TextTreeView view;
    base.TreeView(view, nullptr);
    std::cout << view.Render() << "\n";
    return ExitOk;
}

} // namespace cli
