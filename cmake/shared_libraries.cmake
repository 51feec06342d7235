# shared_libraries.cmake -- the game's rules and what every platform backend shares, for the native and the web build alike.
#
# pelmaric_game: shell/, scene/ and combat/, no platform code, linked into
# every program. pelmaric_platform_common: platform/core/ (the picture, the
# event list, the game pads' rules, the pause, the scale mapping, the music
# control, the pointer counter and the timer's steps, the kept game and its
# replay text) and the events' text form. pelmaric_platform_media: the effect
# and MIDI file checks of platform/core/, for the backends that play sound.
# A backend adds its own files to these.
# The source lists stay at hand for a program that must build them otherwise.
get_filename_component(PELMARIC_TOP ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

file(GLOB PELMARIC_GAME_SOURCES CONFIGURE_DEPENDS
  ${PELMARIC_TOP}/shell/*.cpp
  ${PELMARIC_TOP}/scene/*.cpp
  ${PELMARIC_TOP}/combat/*.cpp)
list(REMOVE_ITEM PELMARIC_GAME_SOURCES ${PELMARIC_TOP}/shell/main.cpp)
add_library(pelmaric_game OBJECT ${PELMARIC_GAME_SOURCES})

set(PELMARIC_PLATFORM_COMMON_SOURCES
  ${PELMARIC_TOP}/platform/core/backend.cpp
  ${PELMARIC_TOP}/platform/core/picture.cpp
  ${PELMARIC_TOP}/platform/core/events.cpp
  ${PELMARIC_TOP}/platform/core/event_text.cpp
  ${PELMARIC_TOP}/platform/core/pad.cpp
  ${PELMARIC_TOP}/platform/core/pause.cpp
  ${PELMARIC_TOP}/platform/core/scale.cpp
  ${PELMARIC_TOP}/platform/core/music_control.cpp
  ${PELMARIC_TOP}/platform/core/recording.cpp
  ${PELMARIC_TOP}/platform/core/replay_file.cpp)
add_library(pelmaric_platform_common OBJECT ${PELMARIC_PLATFORM_COMMON_SOURCES})
# The checks of an effect file and a MIDI file, for the backends that play them.
add_library(pelmaric_platform_media OBJECT
  ${PELMARIC_TOP}/platform/core/wav_header.cpp
  ${PELMARIC_TOP}/platform/core/midi_length.cpp)
# The fitted present mixes every seam pixel of a changed rectangle: -O3
# lets the compiler do its row loops several pixels at a time.
set_source_files_properties(${PELMARIC_TOP}/platform/core/scale.cpp PROPERTIES COMPILE_OPTIONS -O3)

# The version a kept game names (cmake/version.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/version.cmake)
set_source_files_properties(${PELMARIC_TOP}/platform/core/replay_file.cpp PROPERTIES
  COMPILE_DEFINITIONS PELMARIC_VERSION="${PELMARIC_VERSION}")
