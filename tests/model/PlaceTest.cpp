// Where a reading failure is, on the model's own classes: each bad value of the
// demo patch names the objects it is in by their codes, as their tree-view
// nodes do, and the line where its element starts.
#include "model/kod_pvr.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/sbornik_pvr.h"
#include "platform/xml/ParseError.h"

#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"

#include <gtest/gtest.h>

namespace {

struct BadValue {
    const char* from;  // a text of the demo patch
    const char* to;    // what it becomes
    const char* place; // the last line of the message
};

std::string DemoWith(const std::string& from, const std::string& to) {
    std::string demo = text::Cp1251ToUtf8(text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml"));
    const size_t at = demo.find(from);
    if (at == std::string::npos)
        throw std::runtime_error("the demo patch lacks " + from);
    return demo.replace(at, from.size(), to);
}

TEST(PlaceTest, EachBadValueNamesItsObjectsAndTheLineOfItsElement) {
    const BadValue cases[] = {
        {"rashod=\"24.3\"", "rashod=\"24,3\"",
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / поправка: 01-01-001-1 / "
         "Машина/механизм: 030101; строка 20"},
        // The number fails before the code is read: the code comes from the element.
        {"number=\"2\"", "number=\"2x\"",
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / поправка: 01-01-001-2; "
         "строка 23"},
        {"type=\"Машина/механизм\"", "type=\"Робот\"",
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / поправка: 01-01-001-1 / "
         "Робот: 030101; строка 20"},
        {"kod=\"1\" vid_rab", "kod=\"99999999999\" vid_rab",
         "Место ошибки: Сборник нормативов: 99999999999; строка 9"},
        {"kod_mest=\"2\" n_p=\"0\"", "kod_mest=\"2\" n_p=\"x\"",
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / Ставки: место 2; строка 14"},
        {"k_nakl=\"1.05\"", "k_nakl=\"1,05\"", "Место ошибки: Раздел 103; строка 6"},
        // The labour figures have no name of their own: their entry and their line.
        {"<tr r1=\"0\"", "<tr r1=\"q\"",
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / поправка: 01-01-001-1; "
         "строка 19"},
    };
    for (const BadValue& c : cases) {
        SCOPED_TRACE(c.to);
        text::StringList lines;
        lines.SetText(DemoWith(c.from, c.to));
        kod_pvr base;
        try {
            base.DeSerialize(lines);
            ADD_FAILURE() << "read";
        } catch (const Exception& e) {
            const std::string message = e.Message();
            EXPECT_EQ(message.rfind("Ошибка объекта: kod_pvr\nМетод: DeSerialize\nСообщение: ", 0),
                      0u);
            ASSERT_GE(message.size(), 2u);
            const size_t lastLine = message.rfind('\n', message.size() - 2) + 1;
            EXPECT_EQ(message.substr(lastLine), std::string(c.place) + "\n");
            ASSERT_TRUE(e.Place());
            EXPECT_EQ(TSerializeList::PlaceText(*e.Place()), c.place);
            // The headers before the place are those the framework always wrote.
            EXPECT_EQ(message.substr(lastLine - 2, 2), "\n\n");
        }
    }
}

// After a good read each object knows its element's line, and PlaceOf names it
// through its parents: what a failure of the save needs.
TEST(PlaceTest, ObjectsOfAReadPatchKnowTheirPlace) {
    text::StringList lines;
    lines.SetText(text::Cp1251ToUtf8(text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml")));
    kod_pvr base;
    base.DeSerialize(lines);
    const popr_res& line = *base.GetItem(0)->GetItem(0)->GetItem(1)->GetItem(0);
    ErrorPlace place = TSerializeList::PlaceOf(line);
    place.line = xml::LineAt(lines.Text(), static_cast<size_t>(place.offset));
    EXPECT_EQ(TSerializeList::PlaceText(place),
              "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / поправка: 01-01-001-2 / "
              "Машина/механизм: 030101; строка 26");
}

} // namespace
