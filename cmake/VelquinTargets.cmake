# Language level and warnings for every project target.
add_library(velquin_options INTERFACE)
target_compile_features(velquin_options INTERFACE cxx_std_20)
target_compile_options(velquin_options INTERFACE -Wall -Wextra -Wpedantic -Werror)
target_compile_definitions(velquin_options INTERFACE _FILE_OFFSET_BITS=64)
# The distribution's hardening for optimised builds; the sanitizer builds bring their own checks.
if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    set(_opt $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    target_compile_definitions(velquin_options INTERFACE $<${_opt}:_FORTIFY_SOURCE=2>)
    target_compile_options(velquin_options INTERFACE
        $<${_opt}:-fstack-protector-strong -fstack-clash-protection>)
    target_link_options(velquin_options INTERFACE $<${_opt}:LINKER:-z,relro,-z,now>)
endif()

# The version header of the programs (VelquinVersion.h: kVelquinVersion), made from the
# project's version.
configure_file(${PROJECT_SOURCE_DIR}/cmake/VelquinVersion.h.in
               ${PROJECT_BINARY_DIR}/generated/VelquinVersion.h @ONLY)
add_library(velquin_version INTERFACE)
target_include_directories(velquin_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

set(VELQUIN_CORE_TARGETS "" CACHE INTERNAL "")

# velquin_core_library(name DEPS ...): one library per folder of src/, sources globbed
# so that a new file needs no edit here.
function(velquin_core_library name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(_src)
        add_library(${name} STATIC ${_src})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} PUBLIC velquin_options ${ARG_DEPS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} INTERFACE velquin_options ${ARG_DEPS})
    endif()
    set(VELQUIN_CORE_TARGETS ${VELQUIN_CORE_TARGETS} ${name} CACHE INTERNAL "")
endfunction()

# Walks the link closure of every core target and fails the configure step when Qt
# appears in it: the core must build and test without Qt.
function(_velquin_collect_links target out)
    set(_seen ${${out}})
    if(NOT TARGET ${target} OR target IN_LIST _seen)
        set(${out} ${_seen} PARENT_SCOPE)
        return()
    endif()
    list(APPEND _seen ${target})
    get_target_property(_type ${target} TYPE)
    set(_libs "")
    if(NOT _type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(_l ${target} LINK_LIBRARIES)
        if(_l)
            list(APPEND _libs ${_l})
        endif()
    endif()
    get_target_property(_il ${target} INTERFACE_LINK_LIBRARIES)
    if(_il)
        list(APPEND _libs ${_il})
    endif()
    foreach(lib IN LISTS _libs)
        if(lib MATCHES "^Qt" OR lib MATCHES "Qt6")
            message(FATAL_ERROR "core target ${target} links Qt (${lib})")
        endif()
        _velquin_collect_links(${lib} _seen)
    endforeach()
    set(${out} ${_seen} PARENT_SCOPE)
endfunction()

function(velquin_check_no_qt_in_core)
    foreach(t IN LISTS VELQUIN_CORE_TARGETS)
        set(_seen "")
        _velquin_collect_links(${t} _seen)
    endforeach()
endfunction()

# velquin_test_suite(name DEPS ... LABELS label): one GoogleTest binary per test folder, sources
# globbed. One label only: discovered tests cannot carry a list of them.
function(velquin_test_suite name)
    cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
    file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT _src)
        return()
    endif()
    add_executable(${name} ${_src})
    target_link_libraries(${name} PRIVATE velquin_options velquin_testsupport ${ARG_DEPS}
                                          GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
        PROPERTIES LABELS "${ARG_LABELS}"
                   ENVIRONMENT "VELQUIN_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()
