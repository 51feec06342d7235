# compile_flags.cmake -- how every build of the game compiles: the native, the web and the fuzz build alike.
#
# Included right after project() and before any target, so that each target
# defined after it compiles with these flags.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_compile_options(-Wall -Wextra -Wpedantic)
# The game's numbers are single and double precision exactly as written; keep
# the compiler from fusing multiply-adds, which would round differently.
add_compile_options(-ffp-contract=off)
