// Small serializable classes of the tests' own, shaped like the model: a root
// with scalar properties, an object-valued container property and items; a
// group with an object property and line items; leaf lines; a text-only class.
// Plus a fixture that records message boxes and a dump of any object tree.
#pragma once

#include "Serialaze/TSerializeList.h"
#include "platform/host/Application.h"
#include "platform/text/Numbers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A leaf: no AddNewElement of its own.
class t_line : public TSerializeList {
    SERIALIZE_CLASS(t_line, TSerializeList, Property("num", &t_line::m_num),
                    Property("val", &t_line::m_val), Property("name", &t_line::m_name))
public:
    t_line(int num = 0, double val = 0, std::string name = "")
        : m_num(num), m_val(val), m_name(std::move(name)) {}
    std::string PlaceName(const PlaceValue& value) const override {
        return "Линия: " + value("num");
    }
    int m_num;
    double m_val;
    std::string m_name;
};

// Text only, like an alternative code.
class t_code : public TSerializeList {
    SERIALIZE_CLASS(t_code, TSerializeList)
};

// A container of lines with an object-valued property of its own.
class t_group : public TSerializeList {
    SERIALIZE_CLASS(t_group, TSerializeList, Property("kod", &t_group::m_kod),
                    Property("code", &t_group::m_code), Property("label", &t_group::m_label))
public:
    std::string PlaceName(const PlaceValue& value) const override {
        return "Группа: " + value("kod");
    }
    TSerializeList* AddNewElement(const std::string& name) override {
        if (name != "t_line")
            return nullptr;
        return AddLine(new t_line());
    }
    t_line* AddLine(t_line* line) {
        line->SetParent(this);
        return ItemAs<t_line>(Add(std::unique_ptr<TSerializeList>(line)));
    }
    int m_kod = 0;
    std::unique_ptr<t_code> m_code = std::make_unique<t_code>();
    std::string m_label;
};

// A directory held in a property of the root; its items are lines.
class t_dir : public t_group {
    SERIALIZE_CLASS(t_dir, t_group, Property("owner", &t_dir::m_owner))
public:
    std::string m_owner;
};

// The root: remembers every element name offered to AddNewElement.
class t_root : public TSerializeList {
    SERIALIZE_CLASS(t_root, TSerializeList, Property("title", &t_root::m_title),
                    Property("count", &t_root::m_count), Property("dir", &t_root::m_dir),
                    Property("ratio", &t_root::m_ratio))
public:
    t_root() : m_dir(new t_dir()) {}
    ~t_root() override { delete m_dir; }
    TSerializeList* AddNewElement(const std::string& name) override {
        m_offered.push_back(name);
        if (name != "t_group")
            return nullptr;
        return AddGroup(new t_group());
    }
    t_group* AddGroup(t_group* group) {
        group->SetParent(this);
        return ItemAs<t_group>(Add(std::unique_ptr<TSerializeList>(group)));
    }
    std::string m_title;
    int m_count = 0;
    t_dir* m_dir; // owned
    double m_ratio = 0;
    std::vector<std::string> m_offered;
};

// Every property and item of a tree in one text, numbers with ".".
std::string Dump(const TSerializeList& object);

// Installs an application whose message boxes are recorded.
class BoxTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = host::SetCurrentApplication(&m_application); }
    void TearDown() override {
        host::SetCurrentApplication(m_previous);
        text::SetDecimalSeparator('.');
    }
    // The boxes shown so far as "caption|text|icon" lines.
    std::vector<std::string> Boxes() const;

    host::RecordingMessageBoxPresenter m_presenter;
    host::Application m_application{0x51, &m_presenter};
    host::Application* m_previous = nullptr;
};

// The three-line header the framework wraps errors in, spelled out here.
inline std::string Header(const std::string& className, const std::string& method,
                          const std::string& message) {
    return "Ошибка объекта: " + className + "\nМетод: " + method + "\nСообщение: " + message + "\n";
}
