// The operations beside Serialize and DeSerialize: the DTD hook (which writes
// nothing), the XSL translation and the generic tree-view presentation.
#include "Serialaze/TSerializeList.h"

#include "Serialaze/TreeViewControl.h"
#include "platform/host/Application.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "platform/text/Strings.h"
#include "platform/xml/Document.h"
#include "platform/xml/XslDocument.h"

using serialaze::PropertyInfo;
using serialaze::PropertyKind;

namespace {

void ShowError(const std::string& text, const std::string& caption) {
    host::ShowMessageBox(host::CurrentApplication().MainFormHandle(), text, caption,
                         host::MbIcon::Error, host::MbButtons::Ok);
}

} // namespace

void TSerializeList::GenerateDTDWorker(text::StringList&) {}

void TSerializeList::GenerateDTD(text::StringList& lines) {
    try {
        xml::Document document;
        lines.Clear();
        GenerateDTDWorker(lines);
    } catch (const Exception& e) {
        ShowError("Oшибка создания DTD для объекта", "Ошибка создания XML-документа");
        Rethrow(e, "GenerateDTD");
    }
}

void TSerializeList::TranslateXSL(text::StringList& lines) {
    if (text::Trim(XSLFile()).empty())
        return;
    try {
        xml::XslDocument data;
        xml::XslDocument stylesheet;
        lines.Clear();
        Serialize(lines);
        if (!data.LoadXML(lines.Text())) {
            const std::string message = ParseErrorText(data.GetParseError());
            ShowError(message, "Ошибка загрузки XML-документа");
            throw Exception(message);
        }
        if (!stylesheet.Load(XSLFile())) {
            const std::string message = ParseErrorText(stylesheet.GetParseError());
            ShowError(message, "Ошибка загрузки XSL");
            throw Exception(message);
        }
        lines.Clear();
        lines.SetText(xml::TransformXsl(data, stylesheet));
    } catch (const Exception& e) {
        ShowError("Oшибка преобразования XSL", "Ошибка создания XML-документа");
        Rethrow(e, "TranslateXSL");
    }
}

void TSerializeList::TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    try {
        TreeViewBody(view, parent);
    } catch (const Exception& e) {
        Rethrow(e, "TreeView");
    }
}

// Numbers are shown with the current decimal separator: the tree is for the
// user, not for a document.
void TSerializeList::TreeViewBody(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) {
    const bool images = view.HasImages();
    serialaze::TreeNode* node = view.AddChild(parent, ClassName());
    if (images) {
        node->SetImageIndex(0);
        node->SetSelectedIndex(0);
    }
    for (const PropertyInfo* property : Class().Properties()) {
        if (property->kind == PropertyKind::Class) {
            if (TSerializeList* value = property->object(*this))
                value->TreeView(view, view.AddChild(node, property->name));
        } else if (serialaze::IsScalar(property->kind)) {
            serialaze::TreeNode* valueNode =
                view.AddChild(node, property->name + " = " + property->get(*this).AsString());
            if (images) {
                valueNode->SetImageIndex(1);
                valueNode->SetSelectedIndex(1);
            }
        }
    }
    for (int i = 0; i < Count(); ++i)
        Items(i)->TreeView(view, node);
}
