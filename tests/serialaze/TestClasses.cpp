#include "TestClasses.h"

namespace {

void DumpInto(const TSerializeList& object, std::string& out) {
    out += object.ClassName() + "{";
    bool first = true;
    for (const serialaze::PropertyInfo* property : object.Class().Properties()) {
        out += first ? "" : " ";
        first = false;
        out += property->name + "=";
        if (property->kind == serialaze::PropertyKind::Class) {
            if (TSerializeList* value = property->object(object))
                DumpInto(*value, out);
        } else {
            out += "'" + property->get(object).AsString() + "'";
        }
    }
    out += "}";
    if (!object.Text().empty())
        out += "'" + object.Text() + "'";
    if (object.Count() > 0) {
        out += "[";
        for (int i = 0; i < object.Count(); ++i) {
            out += i ? ", " : "";
            DumpInto(*object.Items(i), out);
        }
        out += "]";
    }
}

const char* IconName(host::MbIcon icon) {
    return icon == host::MbIcon::Error ? "error" : "other";
}

} // namespace

std::string Dump(const TSerializeList& object) {
    text::DecimalSeparatorGuard separator('.');
    std::string out;
    DumpInto(object, out);
    return out;
}

std::vector<std::string> BoxTest::Boxes() const {
    std::vector<std::string> boxes;
    for (const host::MessageBoxRequest& box : m_presenter.shown) {
        EXPECT_EQ(box.owner, 0x51u);
        EXPECT_EQ(box.buttons, host::MbButtons::Ok);
        boxes.push_back(box.caption + "|" + box.text + "|" + IconName(box.icon));
    }
    return boxes;
}
