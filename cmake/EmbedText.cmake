# Writes the file IN as a C++ raw string literal into OUT.
file(READ "${IN}" content)
file(WRITE "${OUT}" "R\"EMBEDDED(${content})EMBEDDED\"\n")
