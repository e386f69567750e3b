# Shared helpers for the project's targets.

# Warning flags for every target of the project; -Werror when QUARVENT_WERROR is on.
function(quarvent_target_options target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
    if(QUARVENT_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# A static library made of every .cpp in the calling folder.
#   quarvent_library(engine DEPS quarvent::common)
function(quarvent_library name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    if(NOT sources)
        # A layer not written yet: an empty library keeps its dependents linkable.
        set(stub "${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp")
        file(WRITE "${stub}" "// no sources yet\n")
        set(sources "${stub}")
    endif()
    add_library(${name} STATIC ${sources})
    add_library(quarvent::${name} ALIAS ${name})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    quarvent_target_options(${name})
endfunction()

# One GoogleTest executable from the given sources, registered with CTest.
#   quarvent_add_test(unit_engine SOURCES a_test.cpp LIBS quarvent::engine LABELS unit)
function(quarvent_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} quarvent::test_support GTest::gmock_main)
    quarvent_target_options(${name})
    gtest_discover_tests(${name}
        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
        PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "${ARG_ENVIRONMENT}"
        DISCOVERY_TIMEOUT 60)
endfunction()
