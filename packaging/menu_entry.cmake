# menu_entry.cmake -- writes and installs the menu entry; run by `cmake --install` and cpack.
#
# The entry names the launcher by its full path, known only when installing
# (--prefix and cpack may choose another prefix than the one configured).
# In: PELMARIC_ID, PELMARIC_LAUNCHER (the launcher's installed path),
# PELMARIC_MENU_TEMPLATE (pelmaric.desktop.in) and PELMARIC_MENU_STAGING (a
# folder of the build to write the entry in).
#
# A path goes into Exec= as a desktop entry wants its arguments: a path
# holding a space, a quote, a $ or another character a shell would act on
# is put in double quotes with ", `, $ and \ escaped by a backslash. Every
# % is doubled, since a single one starts a field code. The whole value is
# then escaped as any string value of the file is (\ as \\, a line break as
# \n), which is why a backslash in the path ends up as four. GLib drops an
# entry whose Exec it cannot split into an existing program, so an unquoted
# "my games" folder would leave the game out of the menu.

set(menu_exec "${PELMARIC_LAUNCHER}")
if(menu_exec MATCHES "[^A-Za-z0-9_./+,:@=-]")
  string(REPLACE [[\]] [[\\]] menu_exec "${menu_exec}")
  string(REPLACE [["]] [[\"]] menu_exec "${menu_exec}")
  string(REPLACE [[`]] [[\`]] menu_exec "${menu_exec}")
  string(REPLACE [[$]] [[\$]] menu_exec "${menu_exec}")
  set(menu_exec "\"${menu_exec}\"")
endif()
string(REPLACE "%" "%%" menu_exec "${menu_exec}")
string(REPLACE [[\]] [[\\]] menu_exec "${menu_exec}")
string(REPLACE "\n" [[\n]] menu_exec "${menu_exec}")
string(REPLACE "\t" [[\t]] menu_exec "${menu_exec}")
string(REPLACE "\r" [[\r]] menu_exec "${menu_exec}")
set(PELMARIC_EXEC "${menu_exec}")

configure_file("${PELMARIC_MENU_TEMPLATE}" "${PELMARIC_MENU_STAGING}/${PELMARIC_ID}.desktop" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
     FILES "${PELMARIC_MENU_STAGING}/${PELMARIC_ID}.desktop")
