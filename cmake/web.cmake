# The WebAssembly build of both programs for the page (`make web`), with emscripten. Each
# program is a module factory: the page makes a fresh instance of the tool for every run, and
# one of the stand-in for each drawing it works. The page compiles each .wasm once and hands
# it to every instance (web/engine.js), which is made at once, without waiting, so that the
# stand-in can run the tool within one call, from its worker.
set(web_module_options
  -sMODULARIZE=1 -sINVOKE_RUN=0 -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1
  -sWASM_ASYNC_COMPILATION=0 -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web,worker,node
  -sEXPORTED_RUNTIME_METHODS=FS,callMain,ccall,UTF8ToString)
# The tool's memory is given to it (web/engine.js), so that one memory serves every run.
target_link_options(linetilt PRIVATE ${web_module_options} -sIMPORTED_MEMORY -sEXPORT_NAME=createTool)
# The stand-in's command line is read by CLI11, which reports with exceptions, thrown and
# caught within the options' file. Only that file is compiled to catch them: elsewhere every
# call that might throw would go out through JavaScript and back.
set_source_files_properties(host/cli/options.cpp PROPERTIES COMPILE_OPTIONS -fexceptions)
# Its arguments lie on its stack: the page names lines picked one by one, a million of them
# in some 8 MB. Its memory is given to it too: the run's instance takes the one the drawing
# was opened with, which would otherwise stay beside it until the collector came to it.
target_link_options(linetilt-host PRIVATE ${web_module_options} -fexceptions -sIMPORTED_MEMORY -sEXPORT_NAME=createHost
  -sTOTAL_STACK=33554432 -sINITIAL_MEMORY=50331648
  -sEXPORTED_FUNCTIONS=_main,_linetilt_view,_linetilt_keep_after,_linetilt_error)
set_target_properties(linetilt linetilt-host PROPERTIES SUFFIX .js)

# The code page tables of the page's stand-in, made by the native compiler from iconv's: the
# C library of WebAssembly has few of them, and not as Windows has them.
set(codepage_sources ${CMAKE_SOURCE_DIR}/host/web/codepage_table.cpp ${CMAKE_SOURCE_DIR}/host/base/codepages.cpp)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/codepage_tables.inc
  COMMAND c++ -std=c++17 -O1 -I${CMAKE_SOURCE_DIR}/host ${codepage_sources} -o ${CMAKE_BINARY_DIR}/codepage_table
  COMMAND ${CMAKE_BINARY_DIR}/codepage_table > ${CMAKE_BINARY_DIR}/codepage_tables.inc
  DEPENDS ${codepage_sources} ${CMAKE_SOURCE_DIR}/host/base/codepages.h
  COMMENT "Code page tables for the page")
add_custom_target(codepage_tables DEPENDS ${CMAKE_BINARY_DIR}/codepage_tables.inc)
add_dependencies(linetilt_host_core codepage_tables)
target_include_directories(linetilt_host_core PRIVATE ${CMAKE_BINARY_DIR})

# The stand-in's numbers: read by fast_float, written by {fmt}'s shortest digits, both
# header-only, through links to their folders alone, as fast_float's for the tool.
target_include_directories(linetilt_host_core SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/fast_float-include)
find_path(FMT_DIR fmt/format.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fmt-include)
file(CREATE_LINK ${FMT_DIR}/fmt ${CMAKE_BINARY_DIR}/fmt-include/fmt SYMBOLIC)
target_include_directories(linetilt_host_core SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/fmt-include)
