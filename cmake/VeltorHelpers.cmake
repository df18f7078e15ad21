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

# Every Windows program of the tree, the shipped one and the test programs alike, carries the
# application manifest (UTF-8 as the code page of the narrow calls, long paths), so the tests see the
# file system as sorvik.exe does. The manifest file says why. Each also carries a version resource
# with the version of project(), its file name and DESCRIPTION (default: the shipped program's).
# Each carries the message table of the events it writes to the event log, too (Messages.mc says why).
get_filename_component(VELTOR_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/../libraries/platform/win32/resources ABSOLUTE)
if(WIN32)
    # The message compiler of the tool chain whose resource compiler this is: i686-w64-mingw32-windmc
    # beside i686-w64-mingw32-windres, x86_64-w64-mingw32-windmc beside x86_64-w64-mingw32-windres.
    get_filename_component(rc_dir "${CMAKE_RC_COMPILER}" DIRECTORY)
    get_filename_component(rc_name "${CMAKE_RC_COMPILER}" NAME)
    string(REPLACE "windres" "windmc" mc_name "${rc_name}")
    find_program(VELTOR_MC_COMPILER NAMES ${mc_name} HINTS "${rc_dir}" REQUIRED)
    # Compiled once per build tree: the script names the table's binary beside it, where windres
    # looks for it (the directory of the script it compiles).
    set(VELTOR_MESSAGES ${CMAKE_BINARY_DIR}/messages)
    add_custom_command(
        OUTPUT ${VELTOR_MESSAGES}/Messages.rc ${VELTOR_MESSAGES}/Messages.h ${VELTOR_MESSAGES}/MSG00409.bin
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VELTOR_MESSAGES}
        COMMAND ${VELTOR_MC_COMPILER} -h ${VELTOR_MESSAGES} -r ${VELTOR_MESSAGES} ${VELTOR_RESOURCES}/Messages.mc
        DEPENDS ${VELTOR_RESOURCES}/Messages.mc
        COMMENT "Compiling the message table Messages.mc"
        VERBATIM)
    add_custom_target(veltor_messages DEPENDS ${VELTOR_MESSAGES}/Messages.rc ${VELTOR_MESSAGES}/MSG00409.bin)
endif()
function(veltor_program target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION" "")
    if(WIN32)
        target_sources(${target} PRIVATE ${VELTOR_RESOURCES}/Application.rc ${VELTOR_MESSAGES}/Messages.rc)
        add_dependencies(${target} veltor_messages)
        set_source_files_properties(${VELTOR_MESSAGES}/Messages.rc PROPERTIES OBJECT_DEPENDS
                                    ${VELTOR_MESSAGES}/MSG00409.bin)
        # The resource compiler does not report the manifest as a dependency of the script.
        set_source_files_properties(${VELTOR_RESOURCES}/Application.rc PROPERTIES OBJECT_DEPENDS
                                    ${VELTOR_RESOURCES}/Application.manifest)
        set(VELTOR_FILE_DESCRIPTION "Sorvik: removes obsolete files from the Veltor data directories")
        if(arg_DESCRIPTION)
            set(VELTOR_FILE_DESCRIPTION "${arg_DESCRIPTION}")
        endif()
        # Four numbers, as a version resource has them: 7.0.0 becomes 7.0.0.0.
        set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
        list(LENGTH parts count)
        while(count LESS 4)
            list(APPEND parts 0)
            math(EXPR count "${count} + 1")
        endwhile()
        list(JOIN parts "," VELTOR_VERSION_COMMAS)
        list(JOIN parts "." VELTOR_VERSION_DOTS)
        set(VELTOR_INTERNAL_NAME ${target})
        set(VELTOR_ORIGINAL_FILENAME ${target}${CMAKE_EXECUTABLE_SUFFIX})
        configure_file(${VELTOR_RESOURCES}/Version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc @ONLY)
        target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
    endif()
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
    veltor_program(${name} DESCRIPTION "Sorvik unit tests: ${name}")
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest_main GTest::gtest)
    target_include_directories(${name} PRIVATE ${dir})
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    # The fixture (tests/acceptance/CMakeLists.txt) removes the lock files the tests leave behind.
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED veltor_lock_files)
endfunction()
