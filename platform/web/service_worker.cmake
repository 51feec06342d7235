# service_worker.cmake -- writes the page's service worker, its cache named from the version and the files' contents.
#
#     cmake -DSITE=build-web/site -DTEMPLATE=web/service-worker.js -DVERSION=1.2.3 -P service_worker.cmake
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
configure_file(${TEMPLATE} ${SITE}/service-worker.js @ONLY)
