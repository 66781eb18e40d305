# Helpers shared by every folder.

find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

# morva_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable, registered with ctest under <name>.
function(morva_test name)
  cmake_parse_arguments(T "NO_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set(main GTest::gtest_main)
  if(T_NO_MAIN)
    set(main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} morva_test_support ${main} GTest::gtest GTest::gmock Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# morva_tests_from_glob(<prefix> LIBS <targets...>)
# Every test_*.cpp of the calling folder becomes its own test executable
# <prefix>_<stem>, so suites run in parallel and folders never edit a list.
function(morva_tests_from_glob prefix)
  cmake_parse_arguments(T "" "" "LIBS;EXTRA_SOURCES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  foreach(src IN LISTS srcs)
    get_filename_component(stem ${src} NAME_WE)
    string(REGEX REPLACE "^test_" "" stem ${stem})
    morva_test(${prefix}_${stem} SOURCES ${src} ${T_EXTRA_SOURCES} LIBS ${T_LIBS})
  endforeach()
endfunction()

# morva_deliverable(<name> EXPORTS <version-script> LIBS <static libs...> [SOURCES ...])
# A shared library lib<name>.so that exports only the names in its version
# script. Static code linked into it stays private (-Bsymbolic, hidden
# visibility), so two deliverables never share that code's state.
function(morva_deliverable name)
  cmake_parse_arguments(D "" "EXPORTS" "LIBS;SOURCES" ${ARGN})
  if(NOT D_SOURCES)
    # Everything comes from the static libraries; CMake still wants a source.
    set(D_SOURCES ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(CONFIGURE OUTPUT ${D_SOURCES} CONTENT "// ${name}: built from its static libraries.\n")
  endif()
  add_library(${name} SHARED ${D_SOURCES})
  set(whole)
  foreach(lib IN LISTS D_LIBS)
    list(APPEND whole "$<LINK_LIBRARY:WHOLE_ARCHIVE,${lib}>")
  endforeach()
  target_link_libraries(${name} PRIVATE ${whole} morvawin)
  target_link_options(${name} PRIVATE -Wl,--version-script=${D_EXPORTS} -Wl,-Bsymbolic)
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${D_EXPORTS})
endfunction()

# morva_resource_module(<target> OUTPUT <file name> SOURCES <json files...>)
# Compiles resource sources (tools/xrs) into the resource container
# <build>/bin/<file name>, rebuilt when a source or a file it names changes.
function(morva_resource_module target)
  cmake_parse_arguments(R "" "OUTPUT" "SOURCES" ${ARGN})
  set(out ${CMAKE_BINARY_DIR}/bin/${R_OUTPUT})
  add_custom_command(
    OUTPUT ${out}
    COMMAND morva-rc -o ${out} --depfile ${CMAKE_CURRENT_BINARY_DIR}/${R_OUTPUT}.d ${R_SOURCES}
    DEPENDS morva-rc ${R_SOURCES}
    DEPFILE ${CMAKE_CURRENT_BINARY_DIR}/${R_OUTPUT}.d
    COMMENT "Compiling resources ${R_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${out})
endfunction()
