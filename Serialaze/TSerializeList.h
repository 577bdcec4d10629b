// TSerializeList: the base of every model object. It is an ordered list of
// child objects that it owns (destroying it destroys its subtree), a set of
// published properties declared by each class with SERIALIZE_CLASS, and the
// XML, database and tree-view operations. Parent is a plain back pointer.
#pragma once

#include "Serialaze/PublishedProperties.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ErrorPlace;
class Exception;
namespace db {
class Connection;
}
namespace text {
class StringList;
}
namespace xml {
class Element;
struct ParseError;
} // namespace xml
namespace serialaze {
class TreeNode;
class TreeViewControl;
} // namespace serialaze

// Declares the class's run-time name (the class name as written) and its
// published properties, in order, after those of Base. Put it first in the
// class body; it leaves the access at private. Adding a property is one line:
//
//   class n_proc : public TSerializeList {
//       SERIALIZE_CLASS(n_proc, TSerializeList,
//                       Property("kod_mest", &n_proc::m_kod_mest),
//                       Property("n_p", &n_proc::m_n_p))
//   public: ...
//
#define SERIALIZE_CLASS(Class, Base, ...)                                                          \
public:                                                                                            \
    static const ::serialaze::ClassInfo& StaticClassInfo() {                                       \
        using namespace ::serialaze;                                                               \
        static const ClassInfo info(#Class, typeid(Class), &Base::StaticClassInfo(),               \
                                    {__VA_ARGS__});                                                \
        return info;                                                                               \
    }                                                                                              \
    const ::serialaze::ClassInfo& GetClassInfo() const override {                                  \
        return StaticClassInfo();                                                                  \
    }                                                                                              \
                                                                                                   \
private:

class TSerializeList {
public:
    TSerializeList();
    virtual ~TSerializeList();
    TSerializeList(const TSerializeList&) = delete;
    TSerializeList& operator=(const TSerializeList&) = delete;

    // ---- Run-time class ----
    static const serialaze::ClassInfo& StaticClassInfo();
    virtual const serialaze::ClassInfo& GetClassInfo() const;
    // The class's description. Throws Exception when the object's class did not
    // declare itself with SERIALIZE_CLASS (it would pass for its base).
    const serialaze::ClassInfo& Class() const;
    const std::string& ClassName() const { return Class().Name(); }

    // ---- The list of children ----
    int Count() const { return static_cast<int>(m_items.size()); }
    // The child at `index`. Throws Exception when index is outside [0, Count()).
    TSerializeList* Items(int index) const;
    template <class T> T* ItemAs(int index) const { return static_cast<T*>(Items(index)); }
    // Takes `item` over, appends it and returns its index. Parent is not set.
    int Add(std::unique_ptr<TSerializeList> item);
    // Destroys the child at `index` and removes it. Throws like Items().
    void Delete(int index);
    // Destroys all children, the last one first.
    virtual void Clear();

    // ---- Operations, in their fixed order ----
    // Fills `lines` with the document of this object as the root.
    virtual void Serialize(text::StringList& lines);
    // Reads the document in `lines` into this object (appends to what it holds).
    virtual void DeSerialize(const text::StringList& lines);
    // DeSerialize of the lines whose Text() is `whole`, for a caller that gives
    // the text up: it is parsed where it stands (no copy), and each part of the
    // document is freed once its object is built. The parse overwrites the
    // text, so a parse error asks for it again through `reread` to show where
    // the error is.
    void DeSerializeText(std::string whole, const std::function<std::string()>& reread);
    // Clears `lines`; no declarations are produced.
    virtual void GenerateDTD(text::StringList& lines);
    // Serializes into `lines` and replaces them by the XSLFile transform of the
    // document. Returns at once, lines untouched, when XSLFile is blank.
    virtual void TranslateXSL(text::StringList& lines);
    // The new child for an element of that name, already added, or nullptr to
    // skip the element. Base: throws.
    virtual TSerializeList* AddNewElement(const std::string& name);
    virtual void LoadFromDB(db::Connection& connection);
    virtual void SaveIntoDB(db::Connection& connection);
    virtual void DeleteDB(db::Connection& connection);
    virtual void InsertDB(db::Connection& connection);
    virtual void UpdateDB(db::Connection& connection);
    virtual bool ExistDB(db::Connection& connection);
    virtual std::string ItemClassName(int index) const;
    virtual void DeSerializeInternal(xml::Element element);
    virtual void SerializeInternal(xml::Element element);
    // Adds this object's nodes under `parent` (null: at the top).
    virtual void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent);

    // ---- The property passes and the header ----
    void SetAttributesIntoXML(xml::Element element);
    void GetAttributesFromXML(xml::Element element);
    // Inserts the declaration line at 0 and, when DTDFile is not blank, the
    // DOCTYPE line at 1.
    void AddHeaderLines(text::StringList& lines) const;

    // ---- Members ----
    const std::string& Text() const { return m_text; }
    void SetText(std::string value) { m_text = std::move(value); }
    // The comments and the DTD and XSL names are rarely set: they live in a block
    // of their own that exists only once one of them is set, which keeps the
    // millions of objects of a whole-base patch small.
    const std::string& CommentBefore() const { return Extras().commentBefore; }
    void SetCommentBefore(std::string value) { MutableExtras().commentBefore = std::move(value); }
    const std::string& CommentAfter() const { return Extras().commentAfter; }
    void SetCommentAfter(std::string value) { MutableExtras().commentAfter = std::move(value); }
    const std::string& DTDFile() const { return Extras().dtdFile; }
    void SetDTDFile(std::string value) { MutableExtras().dtdFile = std::move(value); }
    const std::string& XSLFile() const { return Extras().xslFile; }
    void SetXSLFile(std::string value) { MutableExtras().xslFile = std::move(value); }
    TSerializeList* GetParent() const { return m_parent; }
    void SetParent(TSerializeList* parent) { m_parent = parent; }

    // ---- Where an object is, for messages ----
    // Reads the text of the property of that name, for PlaceName.
    using PlaceValue = std::function<std::string(const char* property)>;
    // The object's name in a message that says where a failure is: its kind
    // and codes, as its tree-view node names it ("Норматив: 01-01-001"); ""
    // for an object that such a path leaves out (the root, the directories).
    // `value` gives the text of a property: the object's own value, or while
    // its element is being read, the attribute's text when the element has it
    // (a failure may come before the object's codes are read). Base: "".
    virtual std::string PlaceName(const PlaceValue& value) const;
    // PlaceName from the object's own property values.
    std::string PlaceName() const;
    // The byte offset in the document text it was read from where the
    // object's element starts (see xml::Node::SourceOffset); -1 for an object
    // not read from a document.
    int64_t SourceOffset() const { return m_sourceOffset; }
    // Where the object is: the names of its Parent chain and its own, from the
    // outside inwards (empty names left out), and its SourceOffset. `line` is
    // left 0: the holder of the document text sets it (xml::LineAt).
    static ErrorPlace PlaceOf(const TSerializeList& object);
    // The line that a message about a failure at `place` ends with:
    // "Место ошибки: <names joined by " / ">; строка <line>"; either part is
    // left out when unknown, and "" is returned when both are.
    static std::string PlaceText(const ErrorPlace& place);

    // ---- Helpers ----
    // floor((x + 0.005) * 100) * 0.01: two decimals, halves up.
    static double RoundTo2(double x);
    // "Ошибка объекта: <class>\nМетод: <method>\nСообщение: <message>\n".
    static std::string ObjectErrorText(const TSerializeList* object, const std::string& method,
                                       const std::string& message);
    // The five lines describing a parse error (no line feed after the last).
    static std::string ParseErrorText(const xml::ParseError& error);

private:
    // Raises an Exception whose message is ObjectErrorText(this, method, the
    // message of `inner`), carrying the place of `inner`, or a new place whose
    // cause is that message.
    [[noreturn]] void Rethrow(const Exception& inner, const char* method) const;
    // Rethrow for a failure while `element` was read into this object: the
    // place gets this object's name in front of its path and, unless an element
    // inside said where the failure is, the element's offset.
    [[noreturn]] void RethrowReading(const Exception& inner, xml::Element& element) const;
    // The text of the property of that name; "" when there is none or it
    // cannot be read.
    std::string PropertyText(const char* name) const;
    void SerializeProperty(const serialaze::PropertyInfo& property, xml::Element& element);
    // `value`: that of the first attribute of the property's name, or null
    // when `element` has none (always null for an object property).
    void DeSerializeProperty(const serialaze::PropertyInfo& property, xml::Element& element,
                             const char* value);
    void TreeViewBody(serialaze::TreeViewControl& view, serialaze::TreeNode* parent);
    // Writes the DTD declarations of this object into `lines`; writes nothing.
    void GenerateDTDWorker(text::StringList& lines);

    struct ExtraTexts {
        std::string commentBefore;
        std::string commentAfter;
        std::string dtdFile;
        std::string xslFile;
    };
    // The block, or one that is empty when none was made.
    const ExtraTexts& Extras() const;
    ExtraTexts& MutableExtras();

    std::string m_text;
    std::unique_ptr<ExtraTexts> m_extras;
    TSerializeList* m_parent = nullptr;
    std::vector<std::unique_ptr<TSerializeList>> m_items;
    int64_t m_sourceOffset = -1;
};
