#include "model/kod_pvr.h"

#include "model/NewItem.h"
#include "model/ProgressWindow.h"
#include "model/Recode.h"
#include "model/SaveSession.h"
#include "model/pvr.h"
#include "model/sbornik_pvr.h"

#include "Serialaze/TreeViewControl.h"
#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
#include "platform/db/Query.h"
#include "platform/text/Exception.h"
#include "platform/text/Numbers.h"

#include <optional>

namespace {

const char* const SelectBaseSql = "select * from NAME_BASE";

// Lets the progress window go on every path out of LoadSborniks.
class ProgressWindowCloser {
public:
    explicit ProgressWindowCloser(ProgressWindow& window) : m_window(window) {}
    ~ProgressWindowCloser() {
        m_window.SetMayClose(true);
        m_window.Close();
    }
    ProgressWindowCloser(const ProgressWindowCloser&) = delete;
    ProgressWindowCloser& operator=(const ProgressWindowCloser&) = delete;

private:
    ProgressWindow& m_window;
};

} // namespace

kod_pvr::kod_pvr() : m_razdels(std::make_unique<razdel_list>()) {}

kod_pvr::~kod_pvr() {
    Clear();
    m_razdels.reset();
}

void kod_pvr::Clear() {
    while (Count() > 0)
        Delete(Count() - 1);
}

TSerializeList* kod_pvr::AddNewElement(const std::string& name) {
    return NewItemFor<sbornik_pvr>(*this, name, "sbornik_pvr");
}

int kod_pvr::AddItem(std::unique_ptr<sbornik_pvr> item) {
    item->SetParent(this);
    return Add(std::move(item));
}

sbornik_pvr* kod_pvr::GetItem(int index) const {
    return ItemAs<sbornik_pvr>(index);
}

void kod_pvr::SaveIntoDB(db::Connection& connection) {
    // The objects of the base ask one SaveSession what the base holds: the
    // caller's (which may watch the save), else one for this save.
    std::optional<SaveSession> own;
    if (!SaveSession::Of(connection))
        own.emplace(connection, *this);
    m_razdels->SaveIntoDB(connection);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->SaveIntoDB(connection);
}

void kod_pvr::LoadFromDB(db::Connection& connection) {
    LoadBaseInfo(connection);
    bool recode = false;
    if (m_base_typecode == 1)
        recode = CanRecode(connection);
    LoadSborniks(connection, recode);
    LoadRazdels(connection);
}

void kod_pvr::LoadBaseInfo(db::Connection& connection) {
    db::Query query(connection);
    query.SetSQL(SelectBaseSql);
    query.Open();
    m_base_name = query.FieldByName("name").AsString();
    m_base_date = query.FieldByName("base_god").AsString();
    m_base_code = m_base_name + "-" + m_base_date;
    m_base_typecode =
        serialaze::NarrowToInt(text::StrToInt(query.FieldByName("type_code").AsString()));
}

bool kod_pvr::CanRecode(db::Connection& connection) {
    if (!db::IsOracle(connection))
        return false;
    std::unique_ptr<db::Connection> probe = MakeRecodeConnection(connection);
    try {
        probe->Open();
    } catch (...) {
        probe->Close();
        throw;
    }
    probe->Close();
    return true;
}

void kod_pvr::LoadSborniks(db::Connection& connection, bool recode) {
    std::unique_ptr<ProgressWindow> window = CreateProgressWindow();
    ProgressWindowCloser closer(*window);
    window->SetCaption("Загрузка сборников");
    window->Show();
    for (int i = 0; i < Count(); ++i) {
        sbornik_pvr* collection = GetItem(i);
        window->SetMax(collection->Count());
        window->SetLabel("Загрузка сборника: " + collection->naim());
        collection->LoadSbornik(connection, recode);
    }
}

void kod_pvr::LoadRazdels(db::Connection& connection) {
    for (int i = 0; i < Count(); ++i) {
        const sbornik_pvr* collection = GetItem(i);
        for (int j = 0; j < collection->Count(); ++j) {
            const int code = collection->GetItem(j)->kod_razd();
            if (m_razdels->FindRazdel(code) >= 0)
                continue;
            auto* section = static_cast<razdel*>(m_razdels->AddNewElement("razdel"));
            section->LoadByCode(connection, code);
        }
    }
}

void kod_pvr::TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    m_node = view.AddChild(parent, "Нормативная база " + m_base_name + " от " + m_base_date);
    m_razdels->TreeView(view, m_node);
    for (int i = 0; i < Count(); ++i)
        GetItem(i)->TreeView(view, m_node);
}
