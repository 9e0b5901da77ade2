# Helpers shared by every component's CMakeLists.txt.

set(RZD_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

# rzd_add_tests(<target> SOURCES ... LIBS ... [UNDER_UMOCKDEV])
# One GoogleTest executable per component; every test case runs as its own CTest test, in its own
# process, so tests run in parallel and each one gets a fresh system root from the test support.
# UNDER_UMOCKDEV: the program runs under umockdev's preload (scripts/under-umockdev), for tests
# that put a unit on a mocked USB port.
function(rzd_add_tests target)
  cmake_parse_arguments(ARG "UNDER_UMOCKDEV" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} rzd_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  if(ARG_UNDER_UMOCKDEV)
    set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/under-umockdev)
  endif()
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()

# rzd_embed_resource(<target> TYPE <type> ID <number> FILE <path> [DEPENDS ...])
# Compiles the file's bytes into <target> as the resource (type, id) of the module it ends up in
# (platform/resources.h: FindResource). The C++ array is generated at build time, so the file
# may itself be generated (list its generator under DEPENDS or make it the OUTPUT of a custom
# command). For a static library the array's anchor symbol is forced into every module that
# links the library, so its registration always runs there. With UTF16_TEXT the file is a UTF-8
# text (one trailing line end dropped) embedded as UTF-16LE after a byte-order mark, the form of
# the module's text resources (FindUtf16TextResource).
function(rzd_embed_resource target)
  cmake_parse_arguments(ARG "UTF16_TEXT" "TYPE;ID;FILE" "DEPENDS" ${ARGN})
  if(NOT ARG_TYPE OR NOT ARG_ID OR NOT ARG_FILE)
    message(FATAL_ERROR "rzd_embed_resource(${target}): TYPE, ID and FILE are required")
  endif()
  if(NOT Python3_EXECUTABLE)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
  endif()
  string(MAKE_C_IDENTIFIER "${target}_${ARG_TYPE}_${ARG_ID}" name)
  set(anchor "rzd_resource_${name}")
  set(out "${CMAKE_CURRENT_BINARY_DIR}/rzd_resources/${name}.cpp")
  set(text_option)
  if(ARG_UTF16_TEXT)
    set(text_option --utf16-text)
  endif()
  add_custom_command(OUTPUT "${out}"
    COMMAND "${Python3_EXECUTABLE}" "${RZD_CMAKE_DIR}/embed_resource.py"
            --input "${ARG_FILE}" --output "${out}" --type "${ARG_TYPE}" --id "${ARG_ID}" --symbol "${anchor}"
            ${text_option}
    DEPENDS "${ARG_FILE}" "${RZD_CMAKE_DIR}/embed_resource.py" ${ARG_DEPENDS}
    COMMENT "Embedding resource ${ARG_TYPE} ${ARG_ID} into ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "STATIC_LIBRARY")
    target_link_options(${target} INTERFACE "LINKER:--undefined=${anchor}")
  endif()
endfunction()

# rzd_embed_bitmap(<target> ID <number> PNG <path>)
# A picture kept in the source as a PNG file (8-bit RGB or RGBA), turned at build time into a
# 24-bit bitmap file (cmake/png_to_bmp.py) and embedded as the module's BITMAP resource <number>
# (LoadBitmapResource in platform/picture.h).
function(rzd_embed_bitmap target)
  cmake_parse_arguments(ARG "" "ID;PNG" "" ${ARGN})
  if(NOT ARG_ID OR NOT ARG_PNG)
    message(FATAL_ERROR "rzd_embed_bitmap(${target}): ID and PNG are required")
  endif()
  if(NOT Python3_EXECUTABLE)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
  endif()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/rzd_bitmaps/${target}_${ARG_ID}.bmp")
  add_custom_command(OUTPUT "${out}"
    COMMAND "${Python3_EXECUTABLE}" "${RZD_CMAKE_DIR}/png_to_bmp.py" --input "${ARG_PNG}" --output "${out}"
    DEPENDS "${ARG_PNG}" "${RZD_CMAKE_DIR}/png_to_bmp.py"
    COMMENT "Turning ${ARG_PNG} into bitmap ${ARG_ID} of ${target}"
    VERBATIM)
  rzd_embed_resource(${target} TYPE BITMAP ID ${ARG_ID} FILE "${out}")
endfunction()

# rzd_add_fuzzer(<target> SOURCES ... LIBS ... [INSTRUMENT <library>...])
# A libFuzzer target (fuzz preset: clang with the sanitizers). The INSTRUMENT libraries, those the
# target exercises, get coverage instrumentation so the fuzzer can steer through their code. Each
# target is listed, with its seed corpus and dictionary, in scripts/fuzz.
function(rzd_add_fuzzer target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;INSTRUMENT" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  foreach(library ${ARG_INSTRUMENT})
    target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link)
  endforeach()
endfunction()

# rzd_version_record(<target>...)
# Links the version record (cmake/version_record.cpp.in: the project's version as "1, 0, 0, 0")
# into each executable or shared library named, so file-version queries of the platform find it
# in the built file (platform/file_version.h). A binary without it has no version.
set(RZD_VERSION_PRODUCT "M48tz scanner driver stack")
set(RZD_VERSION_TWEAK "${PROJECT_VERSION_TWEAK}")
if(RZD_VERSION_TWEAK STREQUAL "")
  set(RZD_VERSION_TWEAK 0)
endif()
set(RZD_VERSION_COMMAS
    "${PROJECT_VERSION_MAJOR}, ${PROJECT_VERSION_MINOR}, ${PROJECT_VERSION_PATCH}, ${RZD_VERSION_TWEAK}")
configure_file(${RZD_CMAKE_DIR}/version_record.cpp.in ${CMAKE_BINARY_DIR}/rzd_version/version_record.cpp @ONLY)
add_library(rzd_version_record OBJECT ${CMAKE_BINARY_DIR}/rzd_version/version_record.cpp)
set_target_properties(rzd_version_record PROPERTIES POSITION_INDEPENDENT_CODE ON)

function(rzd_version_record)
  foreach(target ${ARGN})
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:rzd_version_record>)
  endforeach()
endfunction()
