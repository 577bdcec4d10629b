#include "platform/db/BuiltinDrivers.h"
#include "platform/db/Driver.h"
#include "platform/text/Strings.h"

#include <map>
#include <mutex>

namespace db {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, Driver> drivers; // keyed by the upper-case name
};

Registry& TheRegistry() {
    static Registry* registry = [] {
        auto* r = new Registry;
        r->drivers["FIREBIRD"] = FirebirdDriver();
        r->drivers["INTERBASE"] = FirebirdDriver();
        r->drivers["ORACLE"] = OdbcDriver();
        r->drivers["ODBC"] = OdbcDriver();
        return r;
    }();
    return *registry;
}

} // namespace

Driver RegisterDriver(const std::string& driverName, Driver driver) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    Driver& slot = registry.drivers[text::UpperAscii(driverName)];
    Driver previous = std::move(slot);
    slot = std::move(driver);
    if (!slot.connect)
        registry.drivers.erase(text::UpperAscii(driverName));
    return previous;
}

std::optional<Driver> FindDriver(const std::string& driverName) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.drivers.find(text::UpperAscii(driverName));
    if (it == registry.drivers.end())
        return std::nullopt;
    return it->second;
}

} // namespace db
