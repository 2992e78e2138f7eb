# Fails unless the DLL exports exactly winampGetGeneralPurposePlugin and imports only DLLs that
# every Windows (and Wine) has: a stray runtime DLL would stop the plug-in loading for users.
# Also fails when it is bigger than MAX_BYTES, carries C runtime start-up sections (thread-local
# data, unwind tables, initializer tables), or when its headers carry a build time, which would
# make every build of the same commit a different file.
cmake_policy(VERSION 3.25)
file(SIZE ${DLL} bytes)
if(bytes GREATER MAX_BYTES)
    message(FATAL_ERROR "gen_velmora.dll is ${bytes} bytes, over the limit of ${MAX_BYTES}")
endif()
message(STATUS "${bytes} bytes (limit ${MAX_BYTES})")

# objdump prints the header's time in local time: west of UTC a zero stamp reads 1969.
set(ENV{TZ} UTC)
execute_process(COMMAND ${OBJDUMP} -p -h ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

# objdump cuts section names to eight characters (.eh_fram).
string(REGEX MATCHALL "\n *[0-9]+ \\.(tls|eh_fram|CRT)[^ \n]*" sections "${dump}")
if(sections)
    string(REPLACE "\n" "" sections "${sections}")
    message(FATAL_ERROR "gen_velmora.dll carries start-up sections nothing of ours needs:${sections}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed kernel32 user32 gdi32 advapi32 shell32 comctl32)
foreach(line IN LISTS imports)
    string(REGEX REPLACE "DLL Name: ([^\n\r ]+).*" "\\1" name "${line}")
    string(TOLOWER "${name}" lower)
    string(REGEX REPLACE "\\.dll$" "" lower "${lower}")
    if(NOT lower IN_LIST allowed)
        message(FATAL_ERROR "gen_velmora.dll imports ${name}, which a player's machine may lack")
    endif()
    message(STATUS "imports ${name}")
endforeach()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([^\n]+\n)*)" table "${dump}")
string(REGEX MATCHALL "\\] [A-Za-z_@0-9]+" exports "${CMAKE_MATCH_1}")
if(NOT exports STREQUAL "] winampGetGeneralPurposePlugin")
    message(FATAL_ERROR "exports are '${exports}', expected only winampGetGeneralPurposePlugin")
endif()
message(STATUS "exports winampGetGeneralPurposePlugin only")

# Both stamps must be exactly zero, read in UTC.
string(REGEX MATCH "\nTime/Date[ \t]+([^\n]+)" stamp "${dump}")
set(stamp "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nTime/Date stamp[ \t]+([^\n]+)" export_stamp "${dump}")
set(export_stamp "${CMAKE_MATCH_1}")
if(NOT stamp STREQUAL "Thu Jan  1 00:00:00 1970" OR NOT export_stamp STREQUAL "0")
    message(FATAL_ERROR "time stamps in the headers: '${stamp}', '${export_stamp}'")
endif()
