# The build output is the application bundle: libraries in Contents/Frameworks,
# programs in Contents/MacOS or their own nested bundles, the developer-tools
# stand-in in Contents/SharedSupport/bin. Everything finds its libraries through
# $ORIGIN-relative RPATHs so the bundle works wherever it is copied.

set(MARROWBY_BUNDLE_ID_PREFIX "dev.marrowby")
set(MARROWBY_TEAM_ID "M4RR0WBY00")
set(MARROWBY_BUNDLE_DIR "${CMAKE_BINARY_DIR}/Marrowby.app")
set(MARROWBY_CONTENTS_DIR "${MARROWBY_BUNDLE_DIR}/Contents")
set(MARROWBY_FRAMEWORKS_DIR "${MARROWBY_CONTENTS_DIR}/Frameworks")
set(MARROWBY_MACOS_DIR "${MARROWBY_CONTENTS_DIR}/MacOS")
set(MARROWBY_RESOURCES_DIR "${MARROWBY_CONTENTS_DIR}/Resources")
set(MARROWBY_SHAREDSUPPORT_BIN_DIR "${MARROWBY_CONTENTS_DIR}/SharedSupport/bin")

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/Applications" CACHE PATH "Where the bundle is installed" FORCE)
endif()

configure_file("${CMAKE_CURRENT_LIST_DIR}/Info.plist.in" "${MARROWBY_CONTENTS_DIR}/Info.plist" @ONLY)

include(GenerateExportHeader)

# Strict, warning-clean builds for everything of ours. Each target logs under
# its own lower-case name ("marrowkit", "marrowsim", "parley"; see
# Marrowkit/foundation/log.h), or under LOGGER when a program is built from
# several targets.
function(marrowby_target_defaults target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "LOGGER" "")
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    # Source paths in log lines and errors read from the project's root. The
    # compiler may see them relative to the build folder ("../Marrowkit/...")
    # as well as absolute: compiler caches rewrite them so.
    file(RELATIVE_PATH source_from_build "${CMAKE_BINARY_DIR}" "${PROJECT_SOURCE_DIR}")
    string(REGEX REPLACE "/$" "" source_from_build "${source_from_build}")
    target_compile_options(${target} PRIVATE
        "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/="
        "-fmacro-prefix-map=${source_from_build}/=")
    string(TOLOWER "${target}" logger)
    if(arg_LOGGER)
        set(logger "${arg_LOGGER}")
    endif()
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_URL_CAST_FROM_STRING QT_NO_KEYWORDS
        QT_NO_CAST_TO_ASCII
        MARROWBY_SOURCE_ROOT="${PROJECT_SOURCE_DIR}/"
        MARROWBY_LOGGER="${logger}")
endfunction()

# A shared library placed in the bundle's Frameworks folder. It exports only
# what is marked <TARGET>_EXPORT (from "<target>/<target lower-case>_export.h");
# <TARGET>_TESTABLE marks internals that the tests reach, exported only in
# builds with tests.
function(marrowby_add_framework target)
    add_library(${target} SHARED ${ARGN})
    marrowby_target_defaults(${target})
    set_target_properties(${target} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY "${MARROWBY_FRAMEWORKS_DIR}"
        BUILD_RPATH "\$ORIGIN"
        INSTALL_RPATH "\$ORIGIN"
        C_VISIBILITY_PRESET hidden
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    string(TOUPPER "${target}" upper)
    string(TOLOWER "${target}" lower)
    set(testable "
#ifdef ${upper}_EXPORT_TESTABLE
#  define ${upper}_TESTABLE ${upper}_EXPORT
#else
#  define ${upper}_TESTABLE
#endif
")
    generate_export_header(${target}
        BASE_NAME "${upper}"
        EXPORT_FILE_NAME "${CMAKE_CURRENT_BINARY_DIR}/include/${target}/${lower}_export.h"
        CUSTOM_CONTENT_FROM_VARIABLE testable)
    if(BUILD_TESTING)
        target_compile_definitions(${target} PRIVATE ${upper}_EXPORT_TESTABLE)
    endif()
    target_include_directories(${target}
        PUBLIC "$<BUILD_INTERFACE:${CMAKE_CURRENT_BINARY_DIR}/include>"
        PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
endfunction()

# Makes each header (a path below the current source folder) reachable as
# "<target>/<header>" through a forwarding header in the library's own include
# root, and nothing else of the library: a consumer cannot reach its internals.
function(marrowby_public_headers target)
    foreach(header IN LISTS ARGN)
        file(CONFIGURE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/include/${target}/${header}"
             CONTENT "#include \"${CMAKE_CURRENT_SOURCE_DIR}/${header}\"\n")
    endforeach()
endfunction()

# Tests reach the library's internals (its "_p.h" headers) from its own root.
function(marrowby_test_internals test library)
    get_target_property(dir ${library} SOURCE_DIR)
    target_include_directories(${test} PRIVATE "${dir}")
endfunction()

# A program whose libraries live in the bundle's Frameworks folder; `dir` is
# where inside the bundle the executable goes.
function(marrowby_add_program target dir)
    add_executable(${target} ${ARGN})
    marrowby_target_defaults(${target})
    file(RELATIVE_PATH rel "${dir}" "${MARROWBY_FRAMEWORKS_DIR}")
    set_target_properties(${target} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY "${dir}"
        BUILD_RPATH "\$ORIGIN/${rel}"
        INSTALL_RPATH "\$ORIGIN/${rel}")
endfunction()

# A GoogleTest executable registered with CTest. Every test process gets the
# offscreen Qt platform and a private runtime folder (made by the test main).
# TIMEOUT is each test's limit in seconds (120 unless given).
# RESOURCE_LOCK names a resource its tests must not share with other tests
# that name it ("simulator-processes": tests that start Simulator stand-ins or
# quit every Simulator of the machine, as quitSimulatorIfRunning does).
function(marrowby_add_test target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "RESOURCE_LOCK;TIMEOUT" "")
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 120)
    endif()
    add_executable(${target} ${arg_UNPARSED_ARGUMENTS})
    marrowby_target_defaults(${target})
    target_link_libraries(${target} PRIVATE marrowby_testsupport GTest::gtest GTest::gmock)
    set_target_properties(${target} PROPERTIES BUILD_RPATH "${MARROWBY_FRAMEWORKS_DIR}")
    set(lock)
    if(arg_RESOURCE_LOCK)
        set(lock RESOURCE_LOCK "${arg_RESOURCE_LOCK}")
    endif()
    gtest_discover_tests(${target}
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            # One value each: a ";" list would be split into separate
            # properties on its way through the generated set_tests_properties
            # call, losing everything after its first element.
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
            ENVIRONMENT_MODIFICATION "MARROWBY_DEVTOOLS_BIN=set:${MARROWBY_SHAREDSUPPORT_BIN_DIR}"
            TIMEOUT ${arg_TIMEOUT}
            ${lock})
endfunction()

install(DIRECTORY "${MARROWBY_BUNDLE_DIR}" DESTINATION . USE_SOURCE_PERMISSIONS)
