# Run by CPack after it has written a package. CPack stores the members in the order the file
# system lists them, with their owner's ids; this writes the package again with its members
# in name order, owned by root, dated from SOURCE_DATE_EPOCH (the last commit), so that the
# same sources give the same bytes anywhere.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")  # set by package-date.cmake

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  file(MAKE_DIRECTORY ${tree})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${package} WORKING_DIRECTORY ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${package})
  execute_process(COMMAND chmod -R u=rwX,go=rX . WORKING_DIRECTORY ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB top RELATIVE ${tree} ${tree}/*)
  if(name MATCHES "\\.zip$")
    file(GLOB_RECURSE members RELATIVE ${tree} ${tree}/*)
    list(SORT members)
    # zip -X leaves out the owner's ids; the times it stores are local: UTC here.
    execute_process(COMMAND touch -d @${epoch} ${members} WORKING_DIRECTORY ${tree} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -D ${package} ${members}
                    WORKING_DIRECTORY ${tree} COMMAND_ERROR_IS_FATAL ANY)
  else()
    execute_process(COMMAND tar --sort=name --owner=0 --group=0 --numeric-owner --mtime=@${epoch} -cf - ${top}
                    COMMAND gzip -9 -n
                    WORKING_DIRECTORY ${tree} OUTPUT_FILE ${package} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
