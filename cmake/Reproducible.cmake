# The same sources give the same bytes, wherever and whenever they are built:
# no build folder in the binaries (debug information, __FILE__) and no link
# time in the PE header. The later map wins, so a build folder inside the
# source tree still becomes "build".
add_compile_options(
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>)
add_link_options(-Wl,--no-insert-timestamp)
