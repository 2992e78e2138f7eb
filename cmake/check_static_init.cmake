# Fails when an object of the DLL has a dynamic initializer or destructor for a global, or asks
# for thread-local storage: the DLL links no start-up code, so nothing would run them.
#   cmake -DOBJDUMP=objdump -P check_static_init.cmake object-or-archive...
cmake_policy(VERSION 3.25)
set(objects "")
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 4 ${last})   # cmake -DOBJDUMP=... -P script: the files follow
    list(APPEND objects "${CMAKE_ARGV${i}}")
endforeach()
execute_process(COMMAND ${OBJDUMP} -h ${objects} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT objects)
    message(FATAL_ERROR "objdump failed on '${objects}'")
endif()
# Each object's name, then its sections: keep the names of those that have such a section.
string(REGEX MATCHALL "[^\n]*file format[^\n]*|\n *[0-9]+ \\.(ctors|dtors|init_array|fini_array|CRT|tls)[^ \n]*" lines "${dump}")
set(file "")
set(found "")
foreach(line IN LISTS lines)
    if(line MATCHES "^(.*):[ \t]+file format")
        set(file "${CMAKE_MATCH_1}")
    else()
        string(STRIP "${line}" line)
        list(APPEND found "${file}: ${line}")
    endif()
endforeach()
if(found)
    list(JOIN found "\n  " found)
    message(FATAL_ERROR "the DLL runs no start-up code, so nothing would run these global "
                        "initializers, destructors or thread-local data:\n  ${found}")
endif()
