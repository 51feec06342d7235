# assets.cmake -- builds make_assets and runs it to write the game's sounds and music beside the game.
#
# Nothing here is copied in: the three WAV effects and MUSIC4.MID are
# synthesised by tools/assets/make_assets from seeded noise and the score in
# tools/assets/music_score.h, and rewritten whenever any of those sources change.
file(GLOB PELMARIC_ASSET_TOOL_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/make_assets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/asset_*.cpp)
file(GLOB PELMARIC_ASSET_TOOL_HEADERS CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/asset_*.h
  ${CMAKE_CURRENT_LIST_DIR}/music_score.h)

add_executable(make_assets ${PELMARIC_ASSET_TOOL_SOURCES})

set(PELMARIC_ASSET_FILES
  ${CMAKE_BINARY_DIR}/ex2.wav
  ${CMAKE_BINARY_DIR}/poof.wav
  ${CMAKE_BINARY_DIR}/exb.wav
  ${CMAKE_BINARY_DIR}/MUSIC4.MID)

add_custom_command(
  OUTPUT ${PELMARIC_ASSET_FILES}
  COMMAND make_assets ${CMAKE_BINARY_DIR}
  DEPENDS make_assets ${PELMARIC_ASSET_TOOL_SOURCES} ${PELMARIC_ASSET_TOOL_HEADERS}
  COMMENT "Synthesising ex2.wav, poof.wav, exb.wav and MUSIC4.MID"
  VERBATIM)
add_custom_target(assets ALL DEPENDS ${PELMARIC_ASSET_FILES})
