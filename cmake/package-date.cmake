# Read by CPack before it installs and packs: strip and the archives take the dates they
# write from SOURCE_DATE_EPOCH, which is the time of the last commit unless the caller sets it.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_LINETILT_EPOCH}")
endif()
if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No date for the packages: set SOURCE_DATE_EPOCH or build from a git checkout")
endif()
