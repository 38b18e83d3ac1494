# Checks Quickferry.dll as FAR would find it: exactly the four plain exports,
# imports of system DLLs only (no libgcc, libstdc++ or winpthread), and a
# version resource.
execute_process(COMMAND i686-w64-mingw32-objdump -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[^\n]*\n)+)" table "${dump}")
# Strip the "[   0]" ordinals first: brackets confuse CMake's lists.
string(REGEX REPLACE "\\[[ 0-9]+\\]" "" table "${CMAKE_MATCH_1}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z_@0-9]*" exports "${table}")
list(SORT exports)
set(expected Configure GetPluginInfo OpenPlugin SetStartupInfo)
if(NOT exports STREQUAL expected)
  message(FATAL_ERROR "exports are '${exports}', expected '${expected}'")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed KERNEL32.dll ADVAPI32.dll USER32.dll msvcrt.dll)
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOUPPER "${dll}" upper)
  set(ok FALSE)
  foreach(a IN LISTS allowed)
    string(TOUPPER "${a}" au)
    if(upper STREQUAL au)
      set(ok TRUE)
    endif()
  endforeach()
  if(NOT ok)
    message(FATAL_ERROR "Quickferry.dll imports ${dll}, which a plain Windows lacks")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
message(STATUS "exports ${exports}")

# A version resource (type 16): what Windows shows in the DLL's properties
# (its texts are checked under Wine by far_abi_tests).
if(NOT dump MATCHES "Type Table:[^\n]*\n[^\n]*Entry: ID: 0x000010,")
  message(FATAL_ERROR "Quickferry.dll has no version resource")
endif()
