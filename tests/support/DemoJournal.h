// The update journal of the demo patch (demo/patch.xml) applied to the demo
// base (demo/base.sql), line by line, as the window's journal shows it; with
// the recalculation when "Расчет прочих" is ticked.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> DemoJournal(bool recalculation) {
    std::vector<std::string> lines = {
        "Измененили длину поля naim_pvr ",
        "Проверка на совпадение набора расценок с базой",
        "У работы 01-03-001 набор расценок не совпадает с базой 01-03-001-01",
        "Добавление работы 01-01-001",
        "Добавление поправок 01-01-001-1",
        "Добавление поправок 01-01-001-2",
        "Добавление работы 01-03-001",
        "Добавление поправок 01-03-001-01",
        " Добавили машину 030201 Бульдозеры при работе на строительстве 79 кВт (108 л.с.)",
        "Добавление работы 06-01-001",
        "Добавление поправок 06-01-001-01",
        " Добавили материал 401-0067 Бетон тяжелый, класс В20 (М250)",
        "Сохранение в БД",
    };
    if (recalculation)
        lines.insert(lines.end(), {"Запустили расчет прочих",
                                   "Пересчет зарплаты у работы 01-01-001",
                                   "Пересчет зарплаты у работы 01-01-001",
                                   "Пересчет зарплаты у работы 06-01-001"});
    lines.push_back("Обновление завершенно!");
    return lines;
}
