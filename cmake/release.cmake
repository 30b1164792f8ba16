# What a release holds: the version in every program, install rules, and the packages CPack
# makes (`make dist`). The version is the one of the project() line.

# Install trees: bin/ and share/ on Linux; one folder on Windows, where the tool is copied
# next to the host.
if(WIN32)
  enable_language(RC)
  set(bin_dir .)
  set(doc_dir .)
else()
  set(bin_dir bin)
  set(doc_dir share/doc/linetilt)
endif()
# Building is the Makefile's business; installing and packing only copy.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE RC_COPYRIGHT REGEX "^Copyright")
set(description_linetilt "Tilts the selected lines of a CAD exchange file")
set(description_linetilt-host "Runs linetilt on a drawing as the host CAD program would")

foreach(program linetilt linetilt-host)
  if(NOT TARGET ${program})
    continue()
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${bin_dir})
  if(program STREQUAL "linetilt-host")
    # --version is answered by the stand-in's options, in its library.
    target_compile_definitions(linetilt_host_core PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:LINETILT_VERSION=\"${PROJECT_VERSION}\">")
  endif()

  # The manual page with the project's version in its title line.
  set(page ${PROJECT_SOURCE_DIR}/docs/${program}.1)
  if(EXISTS ${page})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
    file(READ ${page} text)
    string(REGEX REPLACE "(\\.TH [^\n]*\"[a-z-]+ )[0-9][0-9.]*\"" "\\1${PROJECT_VERSION}\"" text "${text}")
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/man/${program}.1 CONTENT "${text}" @ONLY)
    if(WIN32)
      # Windows has no man: the page as plain text.
      add_custom_command(OUTPUT man/${program}.txt
        COMMAND sh -c "groff -Tascii -mandoc -P-cbou man/${program}.1 > man/${program}.txt"
        DEPENDS ${CMAKE_BINARY_DIR}/man/${program}.1 VERBATIM)
      add_custom_target(${program}-manual ALL DEPENDS man/${program}.txt)
      install(FILES ${CMAKE_BINARY_DIR}/man/${program}.txt DESTINATION ${doc_dir})
    else()
      install(FILES ${CMAKE_BINARY_DIR}/man/${program}.1 DESTINATION share/man/man1)
    endif()
  endif()

  if(WIN32)
    set(RC_NAME ${program})
    set(RC_DESCRIPTION ${description_${program}})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_BINARY_DIR}/${program}.rc @ONLY)
    target_sources(${program} PRIVATE ${CMAKE_BINARY_DIR}/${program}.rc)
    # No link time in the PE header: the same sources give the same bytes.
    target_link_options(${program} PRIVATE -Wl,--no-insert-timestamp)
  endif()
endforeach()
install(FILES README.md README.ja.md LICENSE CHANGELOG.md DESTINATION ${doc_dir})
if(WIN32)
  # The MinGW-w64 runtime and winpthreads, linked into the programs, ask binaries to carry
  # their notices; Debian's MinGW-w64 package lists them all.
  install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright DESTINATION ${doc_dir} RENAME MinGW-w64-notices.txt)
endif()

# Packages: the Windows folder as a zip, the Linux install tree as a tar.gz.
# The date of the package members when SOURCE_DATE_EPOCH is not set (cmake/package-date.cmake).
execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                OUTPUT_VARIABLE CPACK_LINETILT_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_VENDOR "the linetilt authors")
set(CPACK_PACKAGE_FILE_NAME linetilt-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package-date.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/repack.cmake)
include(CPack)
