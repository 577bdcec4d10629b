#include "tests/fuzz/FuzzSupport.h"

#include "model/kod_pvr.h"
#include "platform/host/Application.h"
#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

#include <string>

namespace fuzz {
namespace {

class SilentPresenter : public host::MessageBoxPresenter {
public:
    int Show(const host::MessageBoxRequest&) override { return host::IDOK; }
};

} // namespace

void QuietMessageBoxes() {
    static SilentPresenter presenter;
    host::CurrentApplication().SetPresenter(&presenter);
}

std::unique_ptr<kod_pvr> ReadPatch(const uint8_t* data, size_t size) {
    text::StringList lines;
    lines.SetText(text::Cp1251ToUtf8(std::string(reinterpret_cast<const char*>(data), size)));
    auto base = std::make_unique<kod_pvr>();
    try {
        base->DeSerialize(lines);
    } catch (const Exception&) {
        return nullptr;
    }
    return base;
}

} // namespace fuzz
