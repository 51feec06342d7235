# package_time.cmake -- read by cpack before it packs: one time for every date in the package.
#
# cpack stamps the files in the .deb and the .deb's own members with
# SOURCE_DATE_EPOCH when it is set, and with the time of packing when not;
# set, two builds of one source give the same bytes. A time given by the
# caller wins (the convention of reproducible builds). Otherwise it is the
# time of the last commit, and outside a git checkout (a source tarball)
# the date of the newest entry of the package's changelog, as
# dpkg-buildpackage takes it.

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_PELMARIC_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE package_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_status ERROR_QUIET)
  if(NOT git_status EQUAL 0 OR NOT package_time MATCHES "^[0-9]+$")
    execute_process(COMMAND dpkg-parsechangelog -l "${CPACK_PELMARIC_SOURCE_DIR}/packaging/changelog" -STimestamp
                    OUTPUT_VARIABLE package_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE changelog_status)
    if(NOT changelog_status EQUAL 0 OR NOT package_time MATCHES "^[0-9]+$")
      message(FATAL_ERROR "No time for the package: no git history, and dpkg-parsechangelog "
                          "(dpkg-dev) could not read packaging/changelog")
    endif()
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${package_time}")
endif()
