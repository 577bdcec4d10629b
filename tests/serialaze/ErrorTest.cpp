#include "TestClasses.h"

#include "platform/db/Connection.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "platform/xml/ParseError.h"

#include <functional>
#include <stdexcept>

namespace {

// Fails while its attributes are written: with an Exception, or with another
// type of error.
class t_fail : public TSerializeList {
    SERIALIZE_CLASS(t_fail, TSerializeList,
                    Property<t_fail>(
                        "bad", serialaze::PropertyKind::LString,
                        [](const t_fail& self) -> serialaze::Variant {
                            if (self.m_foreign)
                                throw std::runtime_error("чужая ошибка");
                            throw Exception("сбой");
                        },
                        [](t_fail&, const serialaze::Variant&) {}))
public:
    bool m_foreign = false;
};

// Forgot to declare itself: would pass for t_line.
class t_undeclared : public t_line {};

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

text::StringList Lines(const std::string& textIn) {
    text::StringList list;
    list.SetText(textIn);
    return list;
}

using ErrorTest = BoxTest;

TEST_F(ErrorTest, CommaInAFloatAttributeIsAConversionErrorWrappedAtEveryLevel) {
    text::SetDecimalSeparator(',');
    t_root root;
    std::string message = MessageOf([&] {
        root.DeSerialize(Lines("<t_root><t_group><t_line val=\"1,5\"/></t_group></t_root>"));
    });
    const std::string conversion = "\"1,5\" не является числом с плавающей точкой";
    EXPECT_EQ(message,
              Header("t_root", "DeSerialize",
                     Header("t_root", "DeSerializeInternal",
                            Header("t_group", "DeSerializeInternal",
                                   Header("t_line", "DeSerializeInternal",
                                          Header("t_line", "GetAttributesFromXML", conversion))))) +
                  "Место ошибки: Группа: 0 / Линия: 0; строка 1\n");
    EXPECT_EQ(text::DecimalSeparator(), ',');
    EXPECT_EQ(root.Count(), 1); // nothing is rolled back
    EXPECT_TRUE(m_presenter.shown.empty());
}

TEST_F(ErrorTest, AnErrorInAPropertyElementCarriesGetAttributesFromXML) {
    t_root root;
    std::string message = MessageOf(
        [&] { root.DeSerialize(Lines("<t_root><dir><t_line num=\"x\"/></dir></t_root>")); });
    EXPECT_EQ(message,
              Header("t_root", "DeSerialize",
                     Header("t_root", "DeSerializeInternal",
                            Header("t_root", "GetAttributesFromXML",
                                   Header("t_dir", "DeSerializeInternal",
                                          Header("t_line", "DeSerializeInternal",
                                                 Header("t_line", "GetAttributesFromXML",
                                                        "\"x\" не является числом с плавающей "
                                                        "точкой")))))) +
                  "Место ошибки: Группа: 0 / Линия: x; строка 1\n");
}

// The place of a failure: the names of the objects it is in, as far as their
// attributes say (the failing attribute itself included), and the line where
// the failing element starts; the headers stay exactly as they were.
TEST_F(ErrorTest, AReadingFailureNamesItsObjectsAndTheLineOfItsElement) {
    const std::string document = "<t_root>\n"
                                 "  <t_group kod=\"7\">\n"
                                 "    <t_line num=\"1\" val=\"2\"/>\n"
                                 "    <t_line\n"
                                 "       num=\"2\" val=\"1,5\"/>\n"
                                 "  </t_group>\n"
                                 "</t_root>\n";
    const std::string conversion = "\"1,5\" не является числом с плавающей точкой";
    const std::string headers =
        Header("t_root", "DeSerialize",
               Header("t_root", "DeSerializeInternal",
                      Header("t_group", "DeSerializeInternal",
                             Header("t_line", "DeSerializeInternal",
                                    Header("t_line", "GetAttributesFromXML", conversion)))));
    t_root root;
    try {
        root.DeSerialize(Lines(document));
        FAIL() << "read";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), headers + "Место ошибки: Группа: 7 / Линия: 2; строка 4\n");
        ASSERT_TRUE(e.Place());
        EXPECT_EQ(e.Place()->path, (std::vector<std::string>{"Группа: 7", "Линия: 2"}));
        EXPECT_EQ(e.Place()->line, 4);
        EXPECT_EQ(e.Place()->cause, conversion);
    }
    // A failing code names the object by the attribute's own text.
    const std::string message = MessageOf([&] {
        t_root other;
        other.DeSerialize(Lines("<t_root>\n<t_group kod=\"7\"/>\n<t_group kod=\"A-1\"/></t_root>"));
    });
    EXPECT_EQ(message.substr(message.rfind("Место")), "Место ошибки: Группа: A-1; строка 3\n");
}

// Reading the same text through DeSerializeText: when the text cannot be had
// again for the line, the place keeps its names and the failure is the same.
TEST_F(ErrorTest, WithoutTheTextAgainThePlaceHasNoLine) {
    t_root root;
    try {
        root.DeSerializeText("<t_root><t_group kod=\"5\"><t_line num=\"q\"/></t_group></t_root>",
                             []() -> std::string { throw Exception("файл исчез"); });
        FAIL() << "read";
    } catch (const Exception& e) {
        const std::string message = e.Message();
        EXPECT_EQ(message.substr(message.rfind("Место")), "Место ошибки: Группа: 5 / Линия: q\n");
        EXPECT_EQ(e.Place()->line, 0);
    }
}

// After a read every object knows where its element starts, and PlaceOf names
// it through its parents (objects without a name are left out); PlaceText
// leaves out what is unknown.
TEST(PlaceTest, ObjectsReadFromADocumentKnowTheirPlace) {
    t_root root;
    text::StringList lines;
    lines.SetText("<t_root>\n<t_group kod=\"3\">\n\n<t_line num=\"9\"/></t_group></t_root>");
    root.DeSerialize(lines);
    const t_line& line = *root.ItemAs<t_group>(0)->ItemAs<t_line>(0);
    ErrorPlace place = TSerializeList::PlaceOf(line);
    EXPECT_EQ(place.path, (std::vector<std::string>{"Группа: 3", "Линия: 9"}));
    EXPECT_EQ(xml::LineAt(lines.Text(), static_cast<size_t>(place.offset)), 4);
    EXPECT_EQ(TSerializeList::PlaceOf(root).path, std::vector<std::string>{});
    EXPECT_EQ(t_line().SourceOffset(), -1);

    place.line = 4;
    EXPECT_EQ(TSerializeList::PlaceText(place), "Место ошибки: Группа: 3 / Линия: 9; строка 4");
    place.path.clear();
    EXPECT_EQ(TSerializeList::PlaceText(place), "Место ошибки: строка 4");
    place.line = 0;
    EXPECT_EQ(TSerializeList::PlaceText(place), "");
    place.path = {"Группа: 3"};
    EXPECT_EQ(TSerializeList::PlaceText(place), "Место ошибки: Группа: 3");
}

TEST_F(ErrorTest, WrongRootIsWrappedTwiceAndLeavesTheObjectEmpty) {
    t_root root;
    std::string message = MessageOf([&] { root.DeSerialize(Lines("<t_group kod=\"1\"/>")); });
    EXPECT_EQ(message, Header("t_root", "DeSerialize",
                              Header("t_root", "DeSerialize",
                                     "Тип документа не соответствует загружаемому объекту")));
    EXPECT_EQ(root.Count(), 0);
    EXPECT_TRUE(m_presenter.shown.empty());
}

TEST_F(ErrorTest, CutOffDocumentShowsTheParseErrorOnceAndRaisesItWrapped) {
    text::SetDecimalSeparator(',');
    t_root root;
    std::string message = MessageOf(
        [&] { root.DeSerialize(Lines("<t_root title=\"Смета\">\n  <t_group kod=\"1\">")); });
    const std::string parse = "Ошибка парсера 14\n"
                              "Документ:  \n"
                              "Строка 2 Позиция 20\n"
                              "Сообщение парсера: \"Элемент \"t_group\" не закрыт (документ "
                              "неожиданно закончился)\"\n"
                              "Источник: \"  <t_group kod=\"1\">\"";
    EXPECT_EQ(message, Header("t_root", "DeSerialize", parse));
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"Ошибка загрузки XML-документа|" + parse + "|error"}));
    EXPECT_EQ(text::DecimalSeparator(), ',');
}

TEST_F(ErrorTest, ElementInsideAClassWithoutAddNewElementFailsWithTheBaseMessage) {
    t_root root;
    std::string message = MessageOf([&] {
        root.DeSerialize(Lines("<t_root><t_group><t_line><x/></t_line></t_group></t_root>"));
    });
    EXPECT_EQ(message, Header("t_root", "DeSerialize",
                              Header("t_root", "DeSerializeInternal",
                                     Header("t_group", "DeSerializeInternal",
                                            Header("t_line", "DeSerializeInternal",
                                                   "Метод TSerializeList::AddNewElement не должен "
                                                   "использоваться.")))) +
                           "Место ошибки: Группа: 0 / Линия: 0; строка 1\n");
    t_line line;
    EXPECT_EQ(MessageOf([&] { line.AddNewElement("t_line"); }),
              "Метод TSerializeList::AddNewElement не должен использоваться.");
}

TEST_F(ErrorTest, SerializeFailureShowsItsBoxRestoresTheSeparatorAndWraps) {
    text::SetDecimalSeparator(',');
    t_fail object;
    text::StringList lines;
    lines.Add("old");
    std::string message = MessageOf([&] { object.Serialize(lines); });
    EXPECT_EQ(message, Header("t_fail", "Serialize",
                              Header("t_fail", "SerializeInternal",
                                     Header("t_fail", "SetAttributesIntoXML", "сбой"))));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "Ошибка создания XML-документа|Oшибка сериализации объекта|error"}));
    EXPECT_EQ(lines.Count(), 0);
    EXPECT_EQ(text::DecimalSeparator(), ',');

    // Errors of other types pass unwrapped, and the separator still comes back.
    object.m_foreign = true;
    EXPECT_THROW(object.Serialize(lines), std::runtime_error);
    EXPECT_EQ(text::DecimalSeparator(), ',');
}

TEST_F(ErrorTest, SerializeFailingInsideTranslateXSLShowsBothBoxesAndBothHeaders) {
    t_fail object;
    object.SetXSLFile("any.xsl");
    text::StringList lines;
    std::string message = MessageOf([&] { object.TranslateXSL(lines); });
    EXPECT_EQ(message, Header("t_fail", "TranslateXSL",
                              Header("t_fail", "Serialize",
                                     Header("t_fail", "SerializeInternal",
                                            Header("t_fail", "SetAttributesIntoXML", "сбой")))));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "Ошибка создания XML-документа|Oшибка сериализации объекта|error",
                           "Ошибка создания XML-документа|Oшибка преобразования XSL|error"}));
}

TEST_F(ErrorTest, AClassThatDidNotDeclareItselfIsRefused) {
    t_undeclared object;
    text::StringList lines;
    std::string message = MessageOf([&] { object.Serialize(lines); });
    EXPECT_NE(message.find("SERIALIZE_CLASS"), std::string::npos) << message;
}

TEST(BaseBodyTest, DatabaseOperationsOfTheBaseRaiseTheirFixedMessages) {
    db::Connection connection; // never connected: the bodies touch nothing
    t_line line;
    const std::vector<std::pair<std::string, std::function<void()>>> operations = {
        {"LoadFromDB", [&] { line.LoadFromDB(connection); }},
        {"SaveIntoDB", [&] { line.SaveIntoDB(connection); }},
        {"DeleteDB", [&] { line.DeleteDB(connection); }},
        {"InsertDB", [&] { line.InsertDB(connection); }},
        {"UpdateDB", [&] { line.UpdateDB(connection); }},
        {"ExistDB", [&] { line.ExistDB(connection); }},
    };
    for (const auto& [name, call] : operations)
        EXPECT_EQ(MessageOf(call), "Метод TSerializeList::" + name + " не должен использоваться.");
}

TEST(ErrorTextTest, ObjectAndParseErrorTexts) {
    t_line line;
    EXPECT_EQ(TSerializeList::ObjectErrorText(&line, "DeSerialize", "x"),
              "Ошибка объекта: t_line\nМетод: DeSerialize\nСообщение: x\n");
    xml::ParseError error;
    error.errorCode = -1072896659;
    error.url = "file:///p.xml";
    error.line = 3;
    error.linepos = 7;
    error.reason = "причина";
    error.srcText = "<a>";
    EXPECT_EQ(TSerializeList::ParseErrorText(error),
              "Ошибка парсера -1072896659\nДокумент:  file:///p.xml\nСтрока 3 Позиция 7\n"
              "Сообщение парсера: \"причина\"\nИсточник: \"<a>\"");
}

} // namespace
