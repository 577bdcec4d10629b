// The catalogue of bad inputs: for each, what the user sees (stdout, stderr,
// exit status) and a base left exactly as it was.
#include "tests/reliability/ReliabilityFixture.h"
#include "tests/support/QueryText.h"

#include "tests/support/TempDatabase.h"

#include "platform/db/Query.h"
#include "platform/text/Encoding.h"
#include "platform/text/StringList.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace reliability {
namespace {

struct BadInput {
    const char* what;
    std::vector<std::string> args; // "{dir}" is the test's folder, "{base}" its base
    int status;
    std::string out;            // the journal lines, exactly
    std::string err;            // stderr, exactly ("{dir}" as in args)
    std::string sqlBefore = ""; // run on the base before, undone by sqlAfter
    std::string sqlAfter = "";
    // For inputs that are saved: what the base holds afterwards (else: all of
    // it as before).
    std::string rowsSql = "";
    std::string rows = "";
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The demo patch (windows-1251 bytes) with one text replaced (UTF-8 texts).
std::string DemoWith(const std::string& from, const std::string& to) {
    std::string demo = text::Cp1251ToUtf8(text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml"));
    const auto at = demo.find(from);
    if (at == std::string::npos)
        throw std::runtime_error("demo patch lacks " + from);
    return text::Utf8ToCp1251(demo.replace(at, from.size(), to));
}

const std::string Declaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n";

// What a patch of random bytes gives: the parse error's box, then the error.
// (The error's source line ends at the first zero byte of the patch.)
const std::string kBinaryPatchMessages =
    "Ошибка загрузки XML-документа: Ошибка парсера 10\n"
    "Документ:\n"
    "Строка 2 Позиция 1\n"
    "Сообщение парсера: \"Текст перед корневым элементом не допускается\"\n"
    "Источник: \"ьлЪЙё\302\247\342\200\223\342\200\246tcRA0  эмЫК\342\204\226Ё\342\200\224\342\200\240udSB1  юнЬЛє\302\251�\342\200\241veTC2! яоЭМ\302\273Є\342\204\242\342\202\254wfUD3\"  пЮНј\302\253љ\342\200\260xgVE4#  рЯОЅ\302\254\342\200\272ЉyhWF5$  саПѕ\302\255њ\342\200\271ziXG6%  тбРї\302\256ќЊ{jYH7&  увСАЇћЌ|kZI8'  фгТБ\302\260џЋ}l[J9(  хдУВ\302\261\302\240Џ~m\\K:)  цеФГІЎђ n]L;*  чжХДіў\342\200\230Ђo^M<+  шзЦЕґЈ\342\200\231Ѓp_N=, \"\n"
    "updatedb: Ошибка объекта: kod_pvr\n"
    "Метод: DeSerialize\n"
    "Сообщение: Ошибка парсера 10\n"
    "Документ:\n"
    "Строка 2 Позиция 1\n"
    "Сообщение парсера: \"Текст перед корневым элементом не допускается\"\n"
    "Источник: \"ьлЪЙё\302\247\342\200\223\342\200\246tcRA0  эмЫК\342\204\226Ё\342\200\224\342\200\240udSB1  юнЬЛє\302\251�\342\200\241veTC2! яоЭМ\302\273Є\342\204\242\342\202\254wfUD3\"\n";

class BadInputCatalogueTest : public DemoBaseTest {
protected:
    void WriteInputs() const;
    std::string Rows(const std::string& sql) const;
    void Gfix(const std::string& file, const std::vector<std::string>& args) const;
};

void BadInputCatalogueTest::WriteInputs() const {
    const std::string demo = text::ReadFileBytes(SOURCE_DIR "/demo/patch.xml");
    WriteBytes("empty.xml", "");
    fs::create_directory(File("folder.xml"));
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 7919 + 13) % 256));
    WriteBytes("binary.xml", binary);
    WriteBytes("truncated.xml", demo.substr(0, demo.size() / 2));
    WriteBytes("wrong-root.xml", Declaration + "<pvr kod=\"01-01-001\"/>\n");
    WriteBytes("not-xml.xml", "kod_pvr;01-01-001;Работа\n");
    std::string utf16 = "\xFF\xFE";
    for (char c : Declaration + "<kod_pvr base_typecode=\"2\"/>\n") {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    WriteBytes("utf16.xml", utf16);
    std::string utf16be = "\xFE\xFF";
    for (char c : Declaration + "<kod_pvr base_typecode=\"2\"/>\n") {
        utf16be.push_back('\0');
        utf16be.push_back(c);
    }
    WriteBytes("utf16be.xml", utf16be);
    WriteBytes("comma.xml", DemoWith("trud_rab=\"4.6\"", "trud_rab=\"4,6\""));
    WriteBytes("letters.xml", DemoWith("kod_razd=\"101\" kod=\"01-01-001\"",
                                       "kod_razd=\"1o1\" kod=\"01-01-001\""));
    WriteBytes("number-blank.xml", DemoWith("number=\"2\"", "number=\"2 2\""));
    WriteBytes("unknown-type.xml", DemoWith("type=\"Материал\"", "type=\"Робот\""));
    WriteBytes("long-text.xml",
               DemoWith("naim=\"Разработка грунта в отвал", "naim=\"" + std::string(100000, 'x')));
    WriteBytes("long-code.xml",
               DemoWith("kod=\"01-03-001\"", "kod=\"" + std::string(300, '7') + "\""));
    std::string deep = Declaration + "<kod_pvr base_typecode=\"2\"><sbornik_pvr kod=\"77\">";
    for (int i = 0; i < 100000; ++i)
        deep += "<x>";
    for (int i = 0; i < 100000; ++i)
        deep += "</x>";
    WriteBytes("deep.xml", deep + "</sbornik_pvr></kod_pvr>\n");
    WriteBytes("duplicate.xml",
               DemoWith("number=\"2\" kod=\"01-01-001-2\"", "number=\"1\" kod=\"01-01-001-2\""));
    WriteBytes("empty-script.sql", "");
    WriteCp1251("bad-script.sql", "delete fromm KOD_TABL where kod_pvr='01-01-001'^\r\n^\r\n"
                                  "update NO_SUCH set a=1 where kod_pvr='x'^");
    WriteBytes("binary-script.sql", binary.substr(0, 200) + "^");
    WriteBytes("password.txt", "s3cret-file\n");
    fs::copy_file(m_base, File("readonly.fdb"));
    Gfix(File("readonly.fdb"), {"-mode", "read_only"});
    fs::copy_file(m_base, File("shut.fdb"));
    Gfix(File("shut.fdb"), {"-shut", "full", "-force", "0"});
}

std::string BadInputCatalogueTest::Rows(const std::string& sql) const {
    db::Connection connection;
    testsupport::ConfigureFirebird(connection, m_base);
    return testsupport::QueryText(connection, sql);
}

// gfix on a copy of the base, through the same engine configuration as ours.
void BadInputCatalogueTest::Gfix(const std::string& file,
                                 const std::vector<std::string>& args) const {
    std::vector<std::string> all{"-user", "SYSDBA"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back(file);
    auto result = testsupport::RunProcess("/usr/bin/gfix", all);
    ASSERT_EQ(result.status, 0) << result.err;
}

} // namespace

TEST_F(BadInputCatalogueTest, EachBadInputGivesItsMessageAndLeavesTheBaseAsItWas) {
    Snapshot(m_base); // prepares the engine's configuration, which gfix shares
    WriteInputs();
    const std::string notFirebird = "{dir}/none.fdb";
    const BadInput inputs[] = {
        {"missing patch",
         {"apply", "{dir}/none.xml"},
         1,
         "",
         "updatedb: Не удается открыть файл \"{dir}/none.xml\": No such file or directory\n"},
        {"empty patch",
         {"apply", "{dir}/empty.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "Ошибка загрузки XML-документа: Ошибка парсера 16\n"
         "Документ:\n"
         "Строка 1 Позиция 1\n"
         "Сообщение парсера: \"В документе нет корневого элемента\"\n"
         "Источник: \"\"\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка парсера 16\n"
         "Документ:\n"
         "Строка 1 Позиция 1\n"
         "Сообщение парсера: \"В документе нет корневого элемента\"\n"
         "Источник: \"\"\n"},
        {"unreadable patch (a folder)",
         {"apply", "{dir}/folder.xml"},
         1,
         "",
         "updatedb: Ошибка чтения файла \"{dir}/folder.xml\": Is a directory\n"},
        {"binary patch",
         {"apply", "{dir}/binary.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n" +
             kBinaryPatchMessages},
        {"truncated patch",
         {"apply", "{dir}/truncated.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "Ошибка загрузки XML-документа: Ошибка парсера 12\n"
         "Документ:\n"
         "Строка 30 Позиция 209\n"
         "Сообщение парсера: \"Значение атрибута не закрыто кавычкой (документ неожиданно закончился)\"\n"
         "Источник: \"<pvr kod_razd=\"103\" kod=\"01-03-001\" naim=\"Засыпка траншей и котлованов бульдозерами мощностью 79 кВт\" naim_ed=\"1000 м3 грунта\" nom_baz=\"1\" priz_ukr=\"ПВР\" sostav_pvr=\"Засыпка траншей и котлованов с перемещение\"\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка парсера 12\n"
         "Документ:\n"
         "Строка 30 Позиция 209\n"
         "Сообщение парсера: \"Значение атрибута не закрыто кавычкой (документ неожиданно закончился)\"\n"
         "Источник: \"<pvr kod_razd=\"103\" kod=\"01-03-001\" naim=\"Засыпка траншей и котлованов бульдозерами мощностью 79 кВт\" naim_ed=\"1000 м3 грунта\" nom_baz=\"1\" priz_ukr=\"ПВР\" sostav_pvr=\"Засыпка траншей и котлованов с перемещение\"\n"},
        {"wrong root",
         {"apply", "{dir}/wrong-root.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Тип документа не соответствует загружаемому объекту\n"},
        {"not XML at all",
         {"apply", "{dir}/not-xml.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "Ошибка загрузки XML-документа: Ошибка парсера 10\n"
         "Документ:\n"
         "Строка 1 Позиция 1\n"
         "Сообщение парсера: \"Текст перед корневым элементом не допускается\"\n"
         "Источник: \"kod_pvr;01-01-001;Р\302\240Р\302\260Р\302\261РѕС\342\200\232Р\302\260\"\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка парсера 10\n"
         "Документ:\n"
         "Строка 1 Позиция 1\n"
         "Сообщение парсера: \"Текст перед корневым элементом не допускается\"\n"
         "Источник: \"kod_pvr;01-01-001;Р\302\240Р\302\260Р\302\261РѕС\342\200\232Р\302\260\"\n"},
        {"UTF-16 patch",
         {"apply", "{dir}/utf16.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "Ошибка загрузки XML-документа: Ошибка парсера 10\n"
         "Документ:\n"
         "Строка 1 Позиция 1\n"
         "Сообщение парсера: \"Текст перед корневым элементом не допускается\"\n"
         "Источник: \"яю< ? x m l   v e r s i o n = \" 1 . 0 \"   e n c o d i n g = \" w i n d o w s - 1 2 5 1 \" ? > \"\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка парсера 10\n"
         "Документ:\n"
         "Строка 1 Позиция 1\n"
         "Сообщение парсера: \"Текст перед корневым элементом не допускается\"\n"
         "Источник: \"яю<\n"},
        {"UTF-16 big-endian patch",
         {"apply", "{dir}/utf16be.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "Ошибка загрузки XML-документа: Ошибка парсера 10\n"
         "Документ:\n"
         "Строка 1 Позиция 1\n"
         "Сообщение парсера: \"Текст перед корневым элементом не допускается\"\n"
         "Источник: \"юя < ? x m l   v e r s i o n = \" 1 . 0 \"   e n c o d i n g = \" w i n d o w s - 1 2 5 1 \" ? > \"\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка парсера 10\n"
         "Документ:\n"
         "Строка 1 Позиция 1\n"
         "Сообщение парсера: \"Текст перед корневым элементом не допускается\"\n"
         "Источник: \"юя\n"},
        {"number with a comma",
         {"apply", "{dir}/comma.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: sbornik_pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr_popr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr_popr\n"
         "Метод: GetAttributesFromXML\n"
         "Сообщение: \"4,6\" не является числом с плавающей точкой\n"
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / поправка: 01-01-001-1; строка 17\n"},
        {"number with letters",
         {"apply", "{dir}/letters.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: sbornik_pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr\n"
         "Метод: GetAttributesFromXML\n"
         "Сообщение: \"1o1\" не является числом с плавающей точкой\n"
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001; строка 10\n"},
        {"number with a blank inside",
         {"apply", "{dir}/number-blank.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: sbornik_pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr_popr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr_popr\n"
         "Метод: GetAttributesFromXML\n"
         "Сообщение: \"2 2\" не является числом с плавающей точкой\n"
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001 / поправка: 01-01-001-2; строка 23\n"},
        {"unknown resource type",
         {"apply", "{dir}/unknown-type.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: sbornik_pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: pvr_popr\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: popr_res\n"
         "Метод: DeSerializeInternal\n"
         "Сообщение: Ошибка объекта: popr_res\n"
         "Метод: GetAttributesFromXML\n"
         "Сообщение: POPR_RES::PutType() - Неизвестный тип ресурса\n"
         "Место ошибки: Сборник нормативов: 6 / Норматив: 06-01-001 / поправка: 06-01-001-01 / Робот: 401-0067; строка 52\n"},
        {"absurdly long name",
         {"apply", "{dir}/long-text.xml", "--no-others"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n"
         "У работы 01-03-001 набор расценок не совпадает с базой 01-03-001-01\n"
         "Ошибка сохранении в базу данных Dynamic SQL Error\n"
         "-SQL error code = -303\n"
         "-arithmetic exception, numeric overflow, or string truncation\n"
         "-string right truncation\n"
         "-expected length 400, actual 1600\n"
         "Оператор: insert into KOD_PVR (kod_razd,kod_pvr,naim_pvr,naim_ed,nom_baz,priz_ukr,kod_sb,kol_stb,priz_stm, priz_for_kor) values(:kod_razd,:kod_pvr,:naim_pvr,:naim_ed,:nom_baz,:priz_ukr,:kod_sb,:kol_stb,:priz_st...\n"
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001; строка 10\n"
         "Обновление завершенно!\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "log info: У работы 01-03-001 набор расценок не совпадает с базой 01-03-001-01\n"
         "log error: Ошибка сохранении в базу данных Dynamic SQL Error\n"
         "-SQL error code = -303\n"
         "-arithmetic exception, numeric overflow, or string truncation\n"
         "-string right truncation\n"
         "-expected length 400, actual 1600\n"
         "Оператор: insert into KOD_PVR (kod_razd,kod_pvr,naim_pvr,naim_ed,nom_baz,priz_ukr,kod_sb,kol_stb,priz_stm, priz_for_kor) values(:kod_razd,:kod_pvr,:naim_pvr,:naim_ed,:nom_baz,:priz_ukr,:kod_sb,:kol_stb,:priz_st...\n"
         "Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001; строка 10\n"
         "Отчёт об изменениях: обновление\n"
         "  Итог: с ошибками\n"
         "  В патче: разделов 2, сборников 2, нормативов 3, поправок 4, строк ресурсов 7\n"
         "  Поле KOD_PVR.NAIM_PVR: длина 400\n"
         "  Строки таблиц и объекты сохранения не подсчитаны\n"
         "  Ошибка (сохранение в БД): Dynamic SQL Error\n"
         "  Место ошибки: Сборник нормативов: 1 / Норматив: 01-01-001; строка 10\n"
         "updatedb: обновление завершено с ошибками (см. строки \"Ошибка\")\n"},
        {"absurdly long code",
         {"apply", "{dir}/long-code.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "updatedb: Dynamic SQL Error\n"
         "-SQL error code = -303\n"
         "-arithmetic exception, numeric overflow, or string truncation\n"
         "-string right truncation\n"
         "-expected length 30, actual 120\n"
         "Оператор: select * from kod_tabl where kod_pvr=:kod_pvr and kod_tabl=:kod_tabl and n_tabl=:n_tabl and naim_tabl=:naim_tabl\n"},
        {"deep nesting",
         {"apply", "{dir}/deep.xml"},
         1,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "Ошибка загрузки XML-документа: Ошибка парсера 101\n"
         "Документ:\n"
         "Строка 2 Позиция 3045\n"
         "Сообщение парсера: \"Превышена допустимая глубина вложенности элементов (1000)\"\n"
         "Источник: \"><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x>\"\n"
         "updatedb: Ошибка объекта: kod_pvr\n"
         "Метод: DeSerialize\n"
         "Сообщение: Ошибка парсера 101\n"
         "Документ:\n"
         "Строка 2 Позиция 3045\n"
         "Сообщение парсера: \"Превышена допустимая глубина вложенности элементов (1000)\"\n"
         "Источник: \"><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x><x>\"\n"},
        // Saving an entry replaces the row with its norm and number: the last of
        // two entries with one number is the one kept, as any later patch would.
        {"duplicate entry number in one norm",
         {"apply", "{dir}/duplicate.xml"},
         0,
         "Измененили длину поля naim_pvr \n"
         "Проверка на совпадение набора расценок с базой\n"
         "У работы 01-01-001 набор расценок не совпадает с базой 01-01-001-2\n"
         "У работы 01-03-001 набор расценок не совпадает с базой 01-03-001-01\n"
         "Добавление работы 01-01-001\n"
         "Добавление поправок 01-01-001-1\n"
         "Добавление поправок 01-01-001-2\n"
         "Добавление работы 01-03-001\n"
         "Добавление поправок 01-03-001-01\n"
         " Добавили машину 030201 Бульдозеры при работе на строительстве 79 кВт (108 л.с.)\n"
         "Добавление работы 06-01-001\n"
         "Добавление поправок 06-01-001-01\n"
         " Добавили материал 401-0067 Бетон тяжелый, класс В20 (М250)\n"
         "Сохранение в БД\n"
         "Запустили расчет прочих\n"
         "Пересчет зарплаты у работы 01-01-001\n"
         "Пересчет зарплаты у работы 01-01-001\n"
         "Пересчет зарплаты у работы 06-01-001\n"
         "Обновление завершенно!\n",
         "log info: Измененили длину поля naim_pvr \n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "log info: У работы 01-01-001 набор расценок не совпадает с базой 01-01-001-2\n"
         "log info: У работы 01-03-001 набор расценок не совпадает с базой 01-03-001-01\n"
         "log info: Добавление работы 01-01-001\n"
         "log info: Добавление работы 01-03-001\n"
         "log info: Добавление работы 06-01-001\n"
         "log info: Сохранение в БД\n"
         "log info: Запустили расчет прочих\n"
         "log info: Пересчет зарплаты у работы 01-01-001\n"
         "log info: Пересчет зарплаты у работы 01-01-001\n"
         "log info: Пересчет зарплаты у работы 06-01-001\n"
         "Отчёт об изменениях: обновление\n"
         "  Итог: без ошибок\n"
         "  В патче: разделов 2, сборников 2, нормативов 3, поправок 4, строк ресурсов 7\n"
         "  Поле KOD_PVR.NAIM_PVR: длина 400\n"
         "  Таблица       новых  изменённых  без изменений  удалённых\n"
         "  CNIR              1           0              2          1\n"
         "  KOD_PVR           1           2              0          0\n"
         "  KOD_RAZD          1           1              0          0\n"
         "  KOD_SBOR          0           0              2          0\n"
         "  KOD_TABL          1           1              1          0\n"
         "  MASH              1           1              1          0\n"
         "  NOM_MASH          1           0              0          0\n"
         "  NOM_MAT           1           0              0          0\n"
         "  N_PROC            1           0              3          0\n"
         "  SOST_PVR          1           2              0          0\n"
         "  TRUDOZ            1           1              1          0\n"
         "  ZARP              0           1              1          0\n"
         "  Объекты       новых  изменённых  без изменений\n"
         "  разделы           1           1              0\n"
         "  сборники          0           0              2\n"
         "  нормативы         1           2              0\n"
         "  поправки          1           2              0\n"
         "  Добавлено в справочники: материалов 1, машин 1\n",
         "",
         "",
         "select n_tabl, kod_tabl from KOD_TABL where kod_pvr = '01-01-001' order by n_tabl",
         "1|01-01-001-2\n2|01-01-001-2\n"},
        {"show of a binary file",
         {"show", "{dir}/binary.xml"},
         1,
         "",
         kBinaryPatchMessages},
        {"missing database file",
         {"--database", notFirebird, "summary"},
         1,
         "",
         "updatedb: Не удалось подключиться к базе данных \"{dir}/none.fdb\" (драйвер Firebird, пользователь SYSDBA): I/O error during \"open\" operation for file \"{dir}/none.fdb\" "
         "-Error while trying to open file -No such file or directory\n"},
        {"database file that is no database",
         {"--database", "{dir}/binary.xml", "summary"},
         1,
         "",
         "updatedb: Не удалось подключиться к базе данных \"{dir}/binary.xml\" (драйвер Firebird, пользователь SYSDBA): file {dir}/binary.xml is not a valid database\n"},
        {"database shut down (locked)",
         {"--database", "{dir}/shut.fdb", "apply", SOURCE_DIR "/demo/patch.xml"},
         1,
         "",
         "updatedb: Не удалось подключиться к базе данных \"{dir}/shut.fdb\" (драйвер Firebird, пользователь SYSDBA): database {dir}/shut.fdb shutdown\n"},
        {"read-only database",
         {"--database", "{dir}/readonly.fdb", "apply", SOURCE_DIR "/demo/patch.xml"},
         1,
         "Ошибка при изменении длины поля naim_pvr Dynamic SQL Error\n"
         "-attempted update on read-only database\n"
         "Оператор: ALTER TABLE KOD_PVR ALTER NAIM_PVR TYPE VARCHAR(400)\n"
         "Проверка на совпадение набора расценок с базой\n"
         "У работы 01-03-001 набор расценок не совпадает с базой 01-03-001-01\n"
         "Ошибка сохранении в базу данных attempted update on read-only database\n"
         "Оператор: update KOD_RAZD set naim_razd = :name, edin_izm = :edin_izm,koef_nakl = :koef_nakl,vid_rab = :vid_rab where kod_razd = :kod\n"
         "Место ошибки: Раздел 101; строка 4\n"
         "Запустили расчет прочих\n"
         "Ошибка при пересчете зарплаты у работы 01-01-001 attempted update on read-only database\n"
         "Оператор: update ZARP set zarpl = :tmpZarpl where ZARP.kod_pvr = :tmpKod_pvr and ZARP.n_tabl = :tmpN_tabl\n"
         "Ошибка при пересчете зарплаты у работы 06-01-001 attempted update on read-only database\n"
         "Оператор: update ZARP set zarpl = :tmpZarpl where ZARP.kod_pvr = :tmpKod_pvr and ZARP.n_tabl = :tmpN_tabl\n"
         "Обновление завершенно!\n",
         "log error: Ошибка при изменении длины поля naim_pvr Dynamic SQL Error\n"
         "-attempted update on read-only database\n"
         "Оператор: ALTER TABLE KOD_PVR ALTER NAIM_PVR TYPE VARCHAR(400)\n"
         "log info: Проверка на совпадение набора расценок с базой\n"
         "log info: У работы 01-03-001 набор расценок не совпадает с базой 01-03-001-01\n"
         "log error: Ошибка сохранении в базу данных attempted update on read-only database\n"
         "Оператор: update KOD_RAZD set naim_razd = :name, edin_izm = :edin_izm,koef_nakl = :koef_nakl,vid_rab = :vid_rab where kod_razd = :kod\n"
         "Место ошибки: Раздел 101; строка 4\n"
         "log info: Запустили расчет прочих\n"
         "log error: Ошибка при пересчете зарплаты у работы 01-01-001 attempted update on read-only database\n"
         "Оператор: update ZARP set zarpl = :tmpZarpl where ZARP.kod_pvr = :tmpKod_pvr and ZARP.n_tabl = :tmpN_tabl\n"
         "log error: Ошибка при пересчете зарплаты у работы 06-01-001 attempted update on read-only database\n"
         "Оператор: update ZARP set zarpl = :tmpZarpl where ZARP.kod_pvr = :tmpKod_pvr and ZARP.n_tabl = :tmpN_tabl\n"
         "Отчёт об изменениях: обновление\n"
         "  Итог: с ошибками\n"
         "  В патче: разделов 2, сборников 2, нормативов 3, поправок 4, строк ресурсов 7\n"
         "  Поле KOD_PVR.NAIM_PVR: длина не изменена (ошибка)\n"
         "  Строки таблиц и объекты сохранения не подсчитаны\n"
         "  Ошибка (расширение поля naim_pvr): Ошибка при изменении длины поля naim_pvr Dynamic SQL Error\n"
         "updatedb: обновление завершено с ошибками (см. строки \"Ошибка\")\n"},
        {"server that does not answer",
         {"--database", "127.0.0.1/1:{dir}/base.fdb", "--password", "s3cret-arg", "summary"},
         1,
         "",
         "updatedb: Не удалось подключиться к базе данных \"127.0.0.1/1:{dir}/base.fdb\" (драйвер Firebird, пользователь SYSDBA): Unable to complete network request to host \"127.0.0.1\". "
         "-Failed to establish a connection.\n"},
        {"wrong password to a server that does not answer",
         {"--database", "127.0.0.1/1:{dir}/base.fdb", "--password-file", "{dir}/password.txt",
          "apply", SOURCE_DIR "/demo/patch.xml"},
         1,
         "",
         "updatedb: Не удалось подключиться к базе данных \"127.0.0.1/1:{dir}/base.fdb\" (драйвер Firebird, пользователь SYSDBA): Unable to complete network request to host \"127.0.0.1\". "
         "-Failed to establish a connection.\n"},
        {"missing password file",
         {"--password-file", "{dir}/none.txt", "summary"},
         1,
         "",
         "updatedb: Не удается открыть файл \"{dir}/none.txt\": No such file or directory\n"},
        {"two password sources",
         {"--password", "a", "--password-file", "{dir}/password.txt", "summary"},
         2,
         "",
         "updatedb: --password and --password-file exclude each other\n"},
        {"empty NAME_BASE",
         {"apply", SOURCE_DIR "/demo/patch.xml"},
         1,
         "",
         "updatedb: Уровень цен базы (NAME_BASE.type_code) не определен: \"\" не является целым числом\n",
         "delete from NAME_BASE;",
         "insert into NAME_BASE (name, base_god, type_code) values ('База', '2026', 2);"},
        {"NAME_BASE at price level 3",
         {"apply", SOURCE_DIR "/demo/patch.xml"},
         1,
         "",
         "updatedb: уровень цен базы 3, обновление не выполнено\n",
         "update NAME_BASE set type_code = 3;",
         "update NAME_BASE set type_code = 2;"},
        {"NAME_BASE with a NULL price level",
         {"apply", SOURCE_DIR "/demo/patch.xml"},
         1,
         "",
         "updatedb: Уровень цен базы (NAME_BASE.type_code) не определен: \"\" не является целым числом\n",
         "update NAME_BASE set type_code = NULL;",
         "update NAME_BASE set type_code = 2;"},
        {"empty deletion script",
         {"run-script", "{dir}/empty-script.sql"},
         0,
         "Удаление завершенно!!!! \n",
         "log info: Удаление завершенно!!!! \n"},
        {"malformed deletion script",
         {"run-script", "{dir}/bad-script.sql"},
         1,
         "Ошибка при удалиление расценки '01-01-001' Dynamic SQL Error\n"
         "-SQL error code = -104\n"
         "-Token unknown - line 1, column 8\n"
         "-fromm\n"
         "Оператор: delete fromm KOD_TABL where kod_pvr='01-01-001'\n"
         "Ошибка при удалиление расценки  Текст запроса пуст\n"
         "Ошибка при удалиление расценки 'x' Dynamic SQL Error\n"
         "-SQL error code = -204\n"
         "-Table unknown\n"
         "-NO_SUCH\n"
         "-At line 1, column 8\n"
         "Оператор: update NO_SUCH set a=1 where kod_pvr='x'\n"
         "Удаление завершенно!!!! \n",
         "log error: Ошибка при удалиление расценки '01-01-001' Dynamic SQL Error\n"
         "-SQL error code = -104\n"
         "-Token unknown - line 1, column 8\n"
         "-fromm\n"
         "Оператор: delete fromm KOD_TABL where kod_pvr='01-01-001'\n"
         "log error: Ошибка при удалиление расценки  Текст запроса пуст\n"
         "log error: Ошибка при удалиление расценки 'x' Dynamic SQL Error\n"
         "-SQL error code = -204\n"
         "-Table unknown\n"
         "-NO_SUCH\n"
         "-At line 1, column 8\n"
         "Оператор: update NO_SUCH set a=1 where kod_pvr='x'\n"
         "log info: Удаление завершенно!!!! \n"},
        {"binary deletion script",
         {"run-script", "{dir}/binary-script.sql"},
         1,
         "Ошибка при удалиление расценки  Dynamic SQL Error\n"
         "-SQL error code = -104\n"
         "-Token unknown - line 1, column 1\n"
         "-\321\n"
         "Оператор: ьлЪЙё\302\247\342\200\223\342\200\246tcRA0\037\016эмЫК\342\204\226Ё\342\200\224\342\200\240udSB1 \017юнЬЛє\302\251�\342\200\241veTC2!\020яоЭМ\302\273Є\342\204\242\342\202\254wfUD3\"\021\n"
         "Ошибка при удалиление расценки  Dynamic SQL Error\n"
         "-SQL error code = -104\n"
         "-Token unknown - line 1, column 1\n"
         "-M\n"
         "Оператор: M<+\032\011шзЦ\n"
         "Удаление завершенно!!!! \n",
         "log error: Ошибка при удалиление расценки  Dynamic SQL Error\n"
         "-SQL error code = -104\n"
         "-Token unknown - line 1, column 1\n"
         "-?\n"
         "Оператор: ьлЪЙё\302\247\342\200\223\342\200\246tcRA0\037\016эмЫК\342\204\226Ё\342\200\224\342\200\240udSB1 \017юнЬЛє\302\251?\342\200\241veTC2!\020яоЭМ\302\273Є\342\204\242\342\202\254wfUD3\"\021\n"
         "log error: Ошибка при удалиление расценки  Dynamic SQL Error\n"
         "-SQL error code = -104\n"
         "-Token unknown - line 1, column 1\n"
         "-M\n"
         "Оператор: M<+\032\011шзЦ\n"
         "log info: Удаление завершенно!!!! \n"},
        {"missing deletion script",
         {"run-script", "{dir}/none.sql"},
         1,
         "",
         "updatedb: Не удается открыть файл \"{dir}/none.sql\": No such file or directory\n"},
        {"empty table code",
         {"delete-code", ""},
         1,
         "",
         "Внимание!: Данной расценки не существует в базе\n"},
        {"table code with SQL in it",
         {"delete-code", "' or 1=1 --"},
         1,
         "",
         "Внимание!: Данной расценки не существует в базе\n"},
        {"unknown option",
         {"apply", "--frobnicate", SOURCE_DIR "/demo/patch.xml"},
         2,
         "",
         "The following argument was not expected: --frobnicate\n"
         "Run with --help for more information.\n"},
        {"unknown command",
         {"frobnicate"},
         2,
         "",
         "A subcommand is required\n"
         "Run with --help for more information.\n"},
        {"apply without a patch",
         {"apply"},
         2,
         "",
         "PATCH is required\n"
         "Run with --help for more information.\n"},
    };
    for (const BadInput& input : inputs) {
        SCOPED_TRACE(input.what);
        if (!input.sqlBefore.empty())
            Sql(input.sqlBefore);
        const std::string before = Snapshot(m_base);
        std::vector<std::string> args;
        for (const std::string& a : input.args)
            args.push_back(Replace(Replace(a, "{dir}", m_folder), "{base}", m_base));
        auto result =
            args[0] == "--database" ? testsupport::RunProcess(UPDATEDB_BIN, args) : Run(args);
        EXPECT_EQ(result.status, input.status);
        EXPECT_EQ(result.out, input.out);
        EXPECT_EQ(result.err, Replace(input.err, "{dir}", m_folder));
        for (const char* secret : {"s3cret-arg", "s3cret-file"}) {
            EXPECT_EQ(result.out.find(secret), std::string::npos);
            EXPECT_EQ(result.err.find(secret), std::string::npos);
        }
        if (input.rowsSql.empty())
            EXPECT_EQ(LineDiff(before, Snapshot(m_base)), "");
        else
            EXPECT_EQ(Rows(input.rowsSql), input.rows);
        if (!input.sqlAfter.empty())
            Sql(input.sqlAfter);
    }
    EXPECT_FALSE(fs::exists(File("none.fdb")));
}

} // namespace reliability
