# packaging.cmake -- installs Pelmaric the way Debian lays out games, and makes its Debian package.
#
# Under the install prefix (cmake --install build [--prefix P], or /usr in
# the package made by `cpack -G DEB`):
#   games/pelmaric                 the launcher, a shell script
#   lib/games/pelmaric/pelmaric    the game, with links to its sound effects
#   share/games/pelmaric/          MUSIC4.MID and the sound effects
#   share/applications, share/icons/hicolor, share/metainfo, share/man/man6,
#   share/doc/pelmaric             the menu entry, icons, AppStream data,
#                                  manual page, copyright, changelog and README
# The game looks for its effects beside the program and its music in the
# current folder; the launcher starts it where the installed music lies.

set(PELMARIC_ID org.pelmaric.Pelmaric)
set(PELMARIC_RELEASE_DATE 2026-12-07)
set(PELMARIC_HOMEPAGE "https://pelmaric.invalid" CACHE STRING "The project's home page, named in the AppStream data")
set(PELMARIC_GAMES_DIR games)
set(PELMARIC_LIB_DIR lib/games/pelmaric)
set(PELMARIC_DATA_DIR share/games/pelmaric)
set(PELMARIC_DOC_DIR share/doc/pelmaric)
set(PELMARIC_ICON_SIZES 48 64 128 256)
set(PELMARIC_EFFECTS ex2.wav poof.wav exb.wav)

set(pkg_in ${CMAKE_CURRENT_LIST_DIR})
set(pkg_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${pkg_out}/links ${pkg_out}/icons)

# The hardening Debian expects of an installed program: fortified libc
# calls (which need optimisation) and a read-only relocation table.
target_compile_definitions(pelmaric PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
target_compile_definitions(pelmaric_platform_sdl PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
target_link_options(pelmaric PRIVATE -Wl,-z,relro,-z,now)
# The build folder's path goes into the debug data and, through it, into
# the build ID that stripping keeps; named "." instead, two build folders
# give the same program. (Link time too: the optimiser writes debug data
# there.)
foreach(part pelmaric pelmaric_game pelmaric_platform_common pelmaric_platform_media pelmaric_platform_sdl)
  target_compile_options(${part} PRIVATE -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
endforeach()
target_link_options(pelmaric PRIVATE -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)

# ---- Made at build time ----------------------------------------------------------

set(icon_pngs)
foreach(size ${PELMARIC_ICON_SIZES})
  list(APPEND icon_pngs ${pkg_out}/icons/${size}.png)
endforeach()
add_custom_command(OUTPUT ${icon_pngs}
  COMMAND make_icons ${pkg_out}/icons ${PELMARIC_ICON_SIZES}
  DEPENDS make_icons
  COMMENT "Drawing the icon at ${PELMARIC_ICON_SIZES} pixels"
  VERBATIM)

configure_file(${pkg_in}/pelmaric.6.in ${pkg_out}/pelmaric.6 @ONLY)
configure_file(${pkg_in}/metainfo.xml.in ${pkg_out}/${PELMARIC_ID}.metainfo.xml @ONLY)
# Debian wants manual pages, changelogs and documents over 4 KB compressed,
# without a time stamp in the gzip header so that rebuilds give the same bytes.
foreach(pair "${pkg_out}/pelmaric.6|pelmaric.6.gz" "${pkg_in}/changelog|changelog.gz"
             "${CMAKE_SOURCE_DIR}/README.md|README.md.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(OUTPUT ${pkg_out}/${target}
    COMMAND gzip -9n -c ${source} > ${pkg_out}/${target}
    DEPENDS ${source}
    COMMENT "Compressing ${target}")
  list(APPEND gzipped ${pkg_out}/${target})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${icon_pngs} ${gzipped})

# The launcher finds the program and the music relative to itself, so an
# install works, and keeps working if moved, under any prefix.
file(RELATIVE_PATH PELMARIC_LAUNCHER_TO_DATA /p/${PELMARIC_GAMES_DIR} /p/${PELMARIC_DATA_DIR})
file(RELATIVE_PATH PELMARIC_LAUNCHER_TO_PROGRAM /p/${PELMARIC_GAMES_DIR} /p/${PELMARIC_LIB_DIR}/pelmaric)
configure_file(${pkg_in}/pelmaric.sh.in ${pkg_out}/pelmaric @ONLY)

# Relative links from beside the program to the effects in the data folder.
file(RELATIVE_PATH lib_to_data /p/${PELMARIC_LIB_DIR} /p/${PELMARIC_DATA_DIR})
foreach(effect ${PELMARIC_EFFECTS})
  file(CREATE_LINK ${lib_to_data}/${effect} ${pkg_out}/links/${effect} SYMBOLIC)
endforeach()

# ---- Install rules -----------------------------------------------------------------

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(PROGRAMS ${pkg_out}/pelmaric DESTINATION ${PELMARIC_GAMES_DIR})
install(TARGETS pelmaric RUNTIME DESTINATION ${PELMARIC_LIB_DIR})
install(FILES ${pkg_out}/links/ex2.wav ${pkg_out}/links/poof.wav ${pkg_out}/links/exb.wav
  DESTINATION ${PELMARIC_LIB_DIR})
install(FILES ${CMAKE_BINARY_DIR}/MUSIC4.MID ${CMAKE_BINARY_DIR}/ex2.wav ${CMAKE_BINARY_DIR}/poof.wav
              ${CMAKE_BINARY_DIR}/exb.wav
  DESTINATION ${PELMARIC_DATA_DIR})

foreach(size ${PELMARIC_ICON_SIZES})
  install(FILES ${pkg_out}/icons/${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
    RENAME ${PELMARIC_ID}.png)
endforeach()
install(FILES ${pkg_in}/pelmaric.svg DESTINATION share/icons/hicolor/scalable/apps RENAME ${PELMARIC_ID}.svg)
install(FILES ${pkg_out}/${PELMARIC_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${pkg_out}/pelmaric.6.gz DESTINATION share/man/man6)
install(FILES ${pkg_in}/copyright ${pkg_out}/changelog.gz ${pkg_out}/README.md.gz DESTINATION ${PELMARIC_DOC_DIR})

# The menu entry names the launcher by its installed path (menu_entry.cmake).
install(CODE "
  set(PELMARIC_ID ${PELMARIC_ID})
  set(PELMARIC_LAUNCHER \"\${CMAKE_INSTALL_PREFIX}/${PELMARIC_GAMES_DIR}/pelmaric\")
  set(PELMARIC_MENU_TEMPLATE \"${pkg_in}/pelmaric.desktop.in\")
  set(PELMARIC_MENU_STAGING \"${pkg_out}/install\")
  include(\"${pkg_in}/menu_entry.cmake\")
")

# ---- The Debian package: cpack -G DEB in the build folder ---------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmaric)
set(CPACK_PACKAGE_VENDOR "The Pelmaric developers")
set(CPACK_PACKAGE_CONTACT "Pelmaric Dev <dev@pelmaric.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "arcade game of city defence at night")
set(CPACK_PACKAGE_DESCRIPTION
"Missiles fall from the night sky on a skyline of 25 buildings. Aim with
the mouse and launch interceptors from three points on the ground with the
A, S and D keys. An interceptor bursts where it was aimed, and any missile
caught in a burst explodes in turn, so one good shot can set off a chain
through the sky. The missiles come in waves, each under a new sky; there is
no score and no end.
.
The sound effects and the music are the game's own; the music is played
through a General MIDI soundfont.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PELMARIC_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "timgm6mb-soundfont | sf2-soundfont-gm | sf3-soundfont-gm, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package's time stamps, for byte-identical rebuilds.
set(CPACK_PROJECT_CONFIG_FILE ${pkg_in}/package_time.cmake)
set(CPACK_PELMARIC_SOURCE_DIR ${CMAKE_SOURCE_DIR})
include(CPack)
