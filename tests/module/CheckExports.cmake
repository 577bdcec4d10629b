# cmake -DLIBRARY=libUpdateDb.so -P CheckExports.cmake: fails unless the
# library's dynamic symbol table defines exactly the symbols of the host
# contract.
set(EXPECTED GetInfoVersion50 MyMDIWindow _FormUpdate _ProgressForm _dlg_Idle)
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE LISTING RESULT_VARIABLE STATUS)
if(NOT STATUS EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" LINES "${LISTING}")
set(FOUND)
foreach(LINE IN LISTS LINES)
  string(REGEX REPLACE "^.* " "" NAME "${LINE}")
  list(APPEND FOUND ${NAME})
endforeach()
list(SORT FOUND)
list(SORT EXPECTED)
if(NOT FOUND STREQUAL EXPECTED)
  list(LENGTH FOUND COUNT)
  message(FATAL_ERROR "libUpdateDb.so exports ${COUNT} symbols: ${FOUND}\nexpected: ${EXPECTED}")
endif()
message(STATUS "libUpdateDb.so exports exactly: ${FOUND}")
