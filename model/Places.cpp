// How the model's objects name themselves where a message says where a failure
// is: the kind and the codes of their tree-view nodes, without the names.
#include "model/n_proc.h"
#include "model/popr_res.h"
#include "model/pvr.h"
#include "model/pvr_popr.h"
#include "model/razdel.h"
#include "model/sbornik_pvr.h"

std::string sbornik_pvr::PlaceName(const PlaceValue& value) const {
    return "Сборник нормативов: " + value("kod");
}

std::string pvr::PlaceName(const PlaceValue& value) const {
    return "Норматив: " + value("kod");
}

std::string pvr_popr::PlaceName(const PlaceValue& value) const {
    return "поправка: " + value("kod");
}

// A line of no known kind is named by what its type attribute says.
std::string popr_res::PlaceName(const PlaceValue& value) const {
    return value("type") + ": " + value("kod");
}

std::string razdel::PlaceName(const PlaceValue& value) const {
    return "Раздел " + value("kod");
}

std::string n_proc::PlaceName(const PlaceValue& value) const {
    return "Ставки: место " + value("kod_mest");
}
