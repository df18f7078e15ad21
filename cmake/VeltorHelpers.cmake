# GoogleTest: Debian's package natively; for the Windows build the sources in /usr/src/googletest are
# compiled with the cross compiler inside this tree.
macro(veltor_setup_gtest)
    if(CMAKE_CROSSCOMPILING)
        set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    else()
        find_package(GTest REQUIRED)
    endif()
endmacro()

# A library whose sources are every .cpp in its source directory (new files are picked up on the next
# build, so parallel work on one library never edits the same list).
function(veltor_library name dir)
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${dir})
endfunction()

# One test program per library, one ctest entry per program: under Wine every start costs a second,
# so cases are not registered one by one.
function(veltor_tests name dir)
    if(NOT VELTOR_TESTS)
        return()
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest_main GTest::gtest)
    target_include_directories(${name} PRIVATE ${dir})
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
