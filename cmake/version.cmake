# version.cmake -- PELMARIC_VERSION, from the one place it is written, the top CMakeLists.txt's project().
#
# --version prints it and every kept game names it; the web and fuzz builds,
# which have projects of their own, read it here too.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../CMakeLists.txt PELMARIC_PROJECT_LINE REGEX "^project\\(Pelmaric VERSION ")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" PELMARIC_VERSION "${PELMARIC_PROJECT_LINE}")
