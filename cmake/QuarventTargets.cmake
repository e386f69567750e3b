# Shared helpers for the project's targets.

# Warning flags for every target of the project; -Werror when QUARVENT_WERROR is on.
function(quarvent_target_options target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
    # GCC 12 reports -Wrestrict inside libstdc++'s own string concatenation when optimising
    # (GCC bug 105329, fixed in GCC 13): a false report, not one about our code.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(QUARVENT_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# A static library made of every .cpp in the calling folder.
#   quarvent_library(engine DEPS quarvent::common)
function(quarvent_library name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    add_library(${name} STATIC ${sources})
    add_library(quarvent::${name} ALIAS ${name})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    quarvent_target_options(${name})
endfunction()

# One GoogleTest executable from the given sources, registered with CTest. MAIN names the
# target that provides main(): GoogleMock's own by default, "none" when SOURCES have it.
#   quarvent_add_test(unit_engine SOURCES a_test.cpp LIBS quarvent::engine LABELS unit)
#   quarvent_add_test(gui_x SOURCES x_test.cpp LIBS quarvent::qt MAIN quarvent::gui_test_main)
function(quarvent_add_test name)
    cmake_parse_arguments(ARG "" "MAIN" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    if(NOT ARG_MAIN)
        set(ARG_MAIN GTest::gmock_main)
    elseif(ARG_MAIN STREQUAL "none")
        set(ARG_MAIN GTest::gmock)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} quarvent::test_support ${ARG_MAIN})
    quarvent_target_options(${name})
    # When optimising, GCC 12 finds the strings inside the tests' tables of rows (and inside
    # std::variant) "maybe uninitialized": false reports in libstdc++'s code, gone in GCC 13.
    # Product code keeps the warning.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${name} PRIVATE -Wno-maybe-uninitialized)
    endif()
    gtest_discover_tests(${name}
        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "${ARG_ENVIRONMENT}"
        DISCOVERY_TIMEOUT 60)
endfunction()
