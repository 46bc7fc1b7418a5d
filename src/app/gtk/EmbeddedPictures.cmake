# The command bar's pictures go into the executable: their bytes become arrays
# in a generated source of velastrom_host, so the program needs no file of the
# source tree when it runs. A picture that is missing becomes an empty array
# (the image then stays blank); adding or changing one reconfigures.
set(_pictures_dir ${CMAKE_SOURCE_DIR}/resources)
set(_pictures_out ${CMAKE_BINARY_DIR}/generated/app/gtk/EmbeddedPictures.cpp)
file(GLOB _pictures_present CONFIGURE_DEPENDS ${_pictures_dir}/*.bmp)

set(_pictures_source "// Generated from resources/*.bmp; do not edit.\n#include \"app/gtk/EmbeddedPictures.h\"\n\nnamespace velastrom::gtk {\n")
foreach(_pair "HomePicture:home.bmp" "StopPicture:stop.bmp")
  string(REPLACE ":" ";" _pair "${_pair}")
  list(GET _pair 0 _name)
  list(GET _pair 1 _file)
  set(_bytes "")
  set(_size 0)
  if(EXISTS ${_pictures_dir}/${_file})
    file(READ ${_pictures_dir}/${_file} _hex HEX)
    string(LENGTH "${_hex}" _hex_length)
    math(EXPR _size "${_hex_length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
    string(REGEX REPLACE "((0x..,){24})" "\\1\n    " _bytes "${_bytes}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_pictures_dir}/${_file})
  endif()
  string(APPEND _pictures_source
    "\nstatic const unsigned char ${_name}Bytes[] = {\n    ${_bytes}0x00};\n"
    "const EmbeddedPicture ${_name}{${_name}Bytes, ${_size}};\n")
endforeach()
string(APPEND _pictures_source "\n}  // namespace velastrom::gtk\n")

file(WRITE ${_pictures_out}.tmp "${_pictures_source}")
configure_file(${_pictures_out}.tmp ${_pictures_out} COPYONLY)
target_sources(velastrom_host PRIVATE ${_pictures_out})
