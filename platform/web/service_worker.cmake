# service_worker.cmake -- gives each file of the page an address naming its contents, and writes the service worker that checks them.
#
#     cmake -DSITE=build-web/site -DVERSION=1.2.3 [-DTEMPLATE=web/service-worker.js] -P service_worker.cmake
#
# Run by the build after every other file of the page is in SITE; the tests
# run it again on a changed copy of the page, as a rebuild would.
#
# index.html gets the list pelmaricFiles: each file the page loads by name,
# at NAME?sha256=DIGEST with its Subresource Integrity string, so a page
# loads one build's files to the end whatever build the worker holds by then
# (page_loader.js). The worker gets every file's digest and size, and its
# cache is named from the version and a hash of them all.
if(NOT TEMPLATE)
  set(TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../../web/service-worker.js)
endif()

# The base64 of a SHA-256 given in hex, as Subresource Integrity writes it.
function(hex_to_base64 hex out)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  set(text "")
  foreach(at RANGE 0 59 6)          # ten groups of three bytes ...
    string(SUBSTRING ${hex} ${at} 6 group)
    math(EXPR bits "0x${group}")
    foreach(shift 18 12 6 0)
      math(EXPR index "(${bits} >> ${shift}) & 63")
      string(SUBSTRING ${alphabet} ${index} 1 char)
      string(APPEND text ${char})
    endforeach()
  endforeach()
  string(SUBSTRING ${hex} 60 4 group) # ... and the last two, padded
  math(EXPR bits "0x${group} << 2")
  foreach(shift 12 6 0)
    math(EXPR index "(${bits} >> ${shift}) & 63")
    string(SUBSTRING ${alphabet} ${index} 1 char)
    string(APPEND text ${char})
  endforeach()
  set(${out} "${text}=" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM files service-worker.js index.html)
list(SORT files)

# First the files index.html names: the browser asks for the manifest and
# the icons by their plain names, the page for the rest at their addresses.
set(page_files "")
foreach(name ${files})
  file(SHA256 ${SITE}/${name} hash)
  file(SIZE ${SITE}/${name} size)
  set(url "${name}")
  if(NOT name MATCHES "^(icons/|manifest\\.webmanifest$)")
    set(url "${name}?sha256=${hash}")
    hex_to_base64(${hash} base64)
    string(APPEND page_files "'${name}': {url: '${url}', integrity: 'sha256-${base64}'}, ")
    if(name STREQUAL "page_loader.js")
      set(loader "<script src=\"${url}\" integrity=\"sha256-${base64}\">")
    endif()
  endif()
  list(APPEND entries "{name: '${name}', url: '${url}', sha256: '${hash}', size: ${size}}")
endforeach()
string(REGEX REPLACE ", $" "" page_files "${page_files}")
file(READ ${SITE}/index.html page)
string(REGEX REPLACE "var pelmaricFiles = [^;]*;" "var pelmaricFiles = {${page_files}};" page "${page}")
if(loader)
  string(REGEX REPLACE "<script src=\"page_loader\\.js[^>]*>" "${loader}" page "${page}")
endif()
file(WRITE ${SITE}/index.html "${page}")

# Then the page itself, kept once though asked for by two names.
file(SHA256 ${SITE}/index.html hash)
file(SIZE ${SITE}/index.html size)
list(APPEND entries "{name: 'index.html', url: './', sha256: '${hash}', size: ${size}}")
list(SORT entries)
string(JOIN ",\n  " PELMARIC_CACHE_FILES ${entries})
string(SHA256 hash "${PELMARIC_CACHE_FILES}")
string(SUBSTRING ${hash} 0 16 hash)
set(PELMARIC_CACHE "pelmaric-${VERSION}-${hash}")
configure_file(${TEMPLATE} ${SITE}/service-worker.js @ONLY)
