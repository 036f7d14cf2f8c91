# How every target of our own is built: its warnings, the folder libraries and their include roots, and
# the tests.

# Warnings every target of our own is built with.
function(dlsw_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
                                             -Wnon-virtual-dtor -Wimplicit-fallthrough -Werror)
endfunction()

# Includes name a header by its folder ("common/TraceLog.h"). Each library gets an include root of its own
# that holds only its folder (a link to it), so a file sees the folders of the libraries it links and no
# other: a wrong include fails to compile instead of waiting to surface as a cycle.
#   dlsw_folder_includes(<target> <folder> <PUBLIC|INTERFACE> [FILES <header>...])
# FILES shows only those headers of the folder instead of the whole folder. A library never reaches into
# another library's folder for single headers: what two folders share lives in a folder below both.
function(dlsw_folder_includes target folder scope)
    cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "FILES")
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    set(links ${folder})
    if(arg_FILES)
        set(links ${arg_FILES})
    endif()
    foreach(link IN LISTS links)
        if(NOT link STREQUAL folder AND NOT link MATCHES "^${folder}/")
            message(FATAL_ERROR "${target}: ${link} lies outside ${folder}")
        endif()
        if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${link})
            message(FATAL_ERROR "${target}: ${link} does not exist")
        endif()
        get_filename_component(parent ${root}/${link} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(REMOVE ${root}/${link})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${link} ${root}/${link} SYMBOLIC)
    endforeach()
    target_include_directories(${target} ${scope} ${root})
endfunction()

# One folder of the worker (or a stand-in component), built as one library from the sources it lists:
#   dlsw_add_library(<name> FOLDER <folder> [TYPE STATIC|SHARED|MODULE] SOURCES <file>... DEPENDS <lib>...)
# DEPENDS names the libraries whose folders its files may include; they are linked publicly, so what a
# library may use, its users may use too.
function(dlsw_add_library name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "FOLDER;TYPE" "SOURCES;DEPENDS")
    if(NOT arg_FOLDER OR NOT arg_SOURCES)
        message(FATAL_ERROR "dlsw_add_library(${name}) needs FOLDER and SOURCES")
    endif()
    if(NOT arg_TYPE)
        set(arg_TYPE STATIC)
    endif()
    add_library(${name} ${arg_TYPE} ${arg_SOURCES})
    dlsw_folder_includes(${name} ${arg_FOLDER} PUBLIC)
    target_link_libraries(${name} PUBLIC ${arg_DEPENDS})
    set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    dlsw_warnings(${name})
endfunction()

# One test program:
#   dlsw_add_test(<name> SOURCES <file>... LIBRARIES <lib>... [LABELS <label>...] [DEFINITIONS <def>...])
# It sees the folders of the libraries it links, and tests/ for the shared test support and fixtures.
function(dlsw_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES;LABELS;DEFINITIONS")
    if(NOT arg_SOURCES OR NOT arg_LIBRARIES)
        message(FATAL_ERROR "dlsw_add_test(${name}) needs SOURCES and LIBRARIES")
    endif()
    add_executable(${name} ${arg_SOURCES})
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} dlsw_test_support GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name} PRIVATE DLSW_FIXTURES="${CMAKE_SOURCE_DIR}/tests/fixtures"
                                               DLSW_SOURCE_DIR="${CMAKE_SOURCE_DIR}" ${arg_DEFINITIONS})
    dlsw_warnings(${name})
    set(properties TIMEOUT 300)
    if(arg_LABELS)
        list(APPEND properties LABELS ${arg_LABELS})
    endif()
    # A run of one label's tests (the thread sanitizer's of "concurrency") builds only the programs that
    # hold them: dlsw_tests_<label>, made by dlsw_add_label_targets().
    foreach(label IN LISTS arg_LABELS)
        set_property(GLOBAL APPEND PROPERTY DLSW_TEST_LABELS ${label})
        set_property(GLOBAL APPEND PROPERTY DLSW_TESTS_LABELLED_${label} ${name})
    endforeach()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# One target per test label, dlsw_tests_<label>, building the test programs of that label (and, through
# their dependencies, the modules and tools they run). Called once every test program is known.
function(dlsw_add_label_targets)
    get_property(labels GLOBAL PROPERTY DLSW_TEST_LABELS)
    list(REMOVE_DUPLICATES labels)
    foreach(label IN LISTS labels)
        get_property(programs GLOBAL PROPERTY DLSW_TESTS_LABELLED_${label})
        add_custom_target(dlsw_tests_${label})
        add_dependencies(dlsw_tests_${label} ${programs})
    endforeach()
endfunction()
