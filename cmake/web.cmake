# The WebAssembly build of both programs for the page (`make web`), with emscripten. Each
# program is a module factory: the page makes a fresh instance of the tool for every run, and
# one of the stand-in for each drawing it works. The page compiles each .wasm once and hands
# it to every instance (web/engine.js), which is made at once, without waiting, so that the
# stand-in can run the tool within one call, from its worker.
set(web_module_options
  -sMODULARIZE=1 -sINVOKE_RUN=0 -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1
  -sWASM_ASYNC_COMPILATION=0 -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web,worker,node
  -sEXPORTED_RUNTIME_METHODS=FS,callMain,ccall,UTF8ToString)
target_link_options(linetilt PRIVATE ${web_module_options} -sEXPORT_NAME=createTool)
# The stand-in's command line is read by CLI11, which reports with exceptions, thrown and
# caught within the options' file. Only that file is compiled to catch them: elsewhere every
# call that might throw would go out through JavaScript and back.
set_source_files_properties(host/cli/options.cpp PROPERTIES COMPILE_OPTIONS -fexceptions)
target_link_options(linetilt-host PRIVATE ${web_module_options} -fexceptions -sEXPORT_NAME=createHost
  -sEXPORTED_FUNCTIONS=_main,_linetilt_view,_linetilt_result,_linetilt_error)
set_target_properties(linetilt linetilt-host PROPERTIES SUFFIX .js)
