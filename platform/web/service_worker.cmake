# service_worker.cmake -- writes the page's service worker, its cache named from the version and the files' contents.
#
#     cmake -DSITE=build-web/site -DTEMPLATE=web/service-worker.js -DVERSION=1.2.3 -P service_worker.cmake
#
# The largest effect file is read from the desktop's check, platform/sdl/wav_header.h.
#
# Run by the build after every other file of the page is in SITE; the tests
# run it again on a changed copy of the page, as a rebuild would.
file(GLOB_RECURSE files RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM files service-worker.js)
list(SORT files)
set(contents "")
set(PELMARIC_CACHE_FILES "'./'")
foreach(name ${files})
  file(SHA256 ${SITE}/${name} hash)
  string(APPEND contents "${name} ${hash}\n")
  string(APPEND PELMARIC_CACHE_FILES ", '${name}'")
endforeach()
string(SHA256 hash "${contents}")
string(SUBSTRING ${hash} 0 16 hash)
set(PELMARIC_CACHE "pelmaric-${VERSION}-${hash}")
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../sdl/wav_header.h line REGEX "kMaxEffectFileBytes = ")
if(NOT line MATCHES "uint64_t\\(([0-9]+)\\) << ([0-9]+)")
  message(FATAL_ERROR "kMaxEffectFileBytes not found in wav_header.h")
endif()
math(EXPR PELMARIC_EFFECT_MOST_BYTES "${CMAKE_MATCH_1} << ${CMAKE_MATCH_2}")
configure_file(${TEMPLATE} ${SITE}/service-worker.js @ONLY)
