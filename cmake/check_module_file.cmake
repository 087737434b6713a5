# Checks the built plug-in module's export and import directories, as a host's loader sees them:
#   cmake -DOBJDUMP=<objdump> -DMODULE=<module file> -P check_module_file.cmake
# The export directory must carry the module's file name and exactly two named exports, ordinal 1
# DissolveProc and ordinal 2 PluginMain; the module may import only DLLs that every Windows
# system has. The import list is printed.
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read ${MODULE}")
endif()

set(problems "")
if(NOT dump MATCHES "file format pei-x86-64")
  string(APPEND problems "not a 64-bit Windows module\n")
endif()
if(NOT dump MATCHES "\nName[ \t]+[0-9a-f]+ Velorund-150 64bit\\.8bf\n")
  string(APPEND problems "the export directory does not name the module \"Velorund-150 64bit.8bf\"\n")
endif()
if(NOT dump MATCHES "\nOrdinal Base[ \t]+1\n")
  string(APPEND problems "the ordinal base is not 1\n")
endif()

# The name table lists each export with its ordinal less the base.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t\\[ *[0-9]+\\] [^\n]+\n)*" names "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" exports "${names}")
string(REGEX REPLACE "  +" " " exports "${exports}")
if(NOT exports STREQUAL "[ 0] DissolveProc;[ 1] PluginMain")
  string(APPEND problems "exports are \"${exports}\", not ordinal 1 DissolveProc and 2 PluginMain\n")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(REPLACE "DLL Name: " "" imports "${imports}")
message(STATUS "imports: ${imports}")
foreach(dll IN LISTS imports)
  string(TOUPPER "${dll}" dll_upper)
  if(NOT dll_upper MATCHES "^(KERNEL32|USER32|GDI32|SHELL32|MSVCRT)\\.DLL$")
    string(APPEND problems "imports ${dll}, which not every Windows system has\n")
  endif()
endforeach()

if(problems)
  message(FATAL_ERROR "${MODULE}:\n${problems}")
endif()
