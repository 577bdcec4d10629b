# Locates the system libraries the layers sit on. All come from Debian packages
# that ./run setup installs.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

find_path(FBCLIENT_INCLUDE_DIR firebird/Interface.h PATHS /usr/include REQUIRED)
find_library(FBCLIENT_LIBRARY NAMES fbclient REQUIRED)
add_library(fbclient::fbclient UNKNOWN IMPORTED)
set_target_properties(fbclient::fbclient PROPERTIES
  IMPORTED_LOCATION "${FBCLIENT_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${FBCLIENT_INCLUDE_DIR}")

pkg_check_modules(ODBC REQUIRED IMPORTED_TARGET odbc)
pkg_check_modules(LIBXSLT REQUIRED IMPORTED_TARGET libxslt libxml-2.0)
find_package(pugixml REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Widgets)

if(UPDATEDB_TESTS)
  find_package(GTest REQUIRED)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  include(GoogleTest)
endif()
