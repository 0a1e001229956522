# Turns the icon source (arm_icon.txt) into a resource-script fragment that holds the icon "ARM"
# as inline raw data: one RT_ICON image (a 4-bit DIB with its transparency mask) and the
# RT_GROUP_ICON directory that names it. Runs on every host:
#   cmake -DICON_SOURCE=arm_icon.txt -DICON_OUTPUT=arm_icon.rc2 -P make_icon.cmake
cmake_minimum_required(VERSION 3.16)

if(NOT DEFINED ICON_SOURCE OR NOT DEFINED ICON_OUTPUT)
  message(FATAL_ERROR "make_icon: give -DICON_SOURCE=<icon text> -DICON_OUTPUT=<rc fragment>")
endif()

set(kSize 32)
set(kDigits "0123456789ABCDEF")

file(STRINGS "${ICON_SOURCE}" lines)
set(palette "")
set(paletteCount 0)
set(rows "")
set(rowCount 0)
set(lineNumber 0)
foreach(line IN LISTS lines)
  math(EXPR lineNumber "${lineNumber} + 1")
  if(line MATCHES "^[ \t]*(#.*)?$")
    continue()
  elseif(line MATCHES "^palette ([0-9A-F]) ([0-9A-Fa-f][0-9A-Fa-f])([0-9A-Fa-f][0-9A-Fa-f])([0-9A-Fa-f][0-9A-Fa-f])[ \t]*$")
    string(FIND "${kDigits}" "${CMAKE_MATCH_1}" index)
    if(NOT index EQUAL paletteCount)
      message(FATAL_ERROR "make_icon: ${ICON_SOURCE}:${lineNumber}: palette entries must come in order 0 to F")
    endif()
    # RGBQUAD: blue, green, red, reserved
    list(APPEND palette "0x${CMAKE_MATCH_4}" "0x${CMAKE_MATCH_3}" "0x${CMAKE_MATCH_2}" 0)
    math(EXPR paletteCount "${paletteCount} + 1")
  elseif(line MATCHES "^row ([0-9A-F.]+)[ \t]*$")
    string(LENGTH "${CMAKE_MATCH_1}" width)
    if(NOT width EQUAL kSize)
      message(FATAL_ERROR "make_icon: ${ICON_SOURCE}:${lineNumber}: a row has ${kSize} pixels, this one ${width}")
    endif()
    list(APPEND rows "${CMAKE_MATCH_1}")
    math(EXPR rowCount "${rowCount} + 1")
  else()
    message(FATAL_ERROR "make_icon: ${ICON_SOURCE}:${lineNumber}: not a palette or row line: ${line}")
  endif()
endforeach()
if(NOT paletteCount EQUAL 16)
  message(FATAL_ERROR "make_icon: ${ICON_SOURCE}: the palette has 16 entries, found ${paletteCount}")
endif()
if(NOT rowCount EQUAL kSize)
  message(FATAL_ERROR "make_icon: ${ICON_SOURCE}: the image has ${kSize} rows, found ${rowCount}")
endif()

# Appends an unsigned value as nBytes little-endian bytes to the list named by out.
function(append_le out value nBytes)
  set(bytes ${${out}})
  set(rest ${value})
  foreach(i RANGE 1 ${nBytes})
    math(EXPR byte "${rest} % 256")
    math(EXPR rest "${rest} / 256")
    list(APPEND bytes ${byte})
  endforeach()
  set(${out} ${bytes} PARENT_SCOPE)
endfunction()

# The colour bits (XOR) and the transparency mask (AND) are stored bottom row first. A
# transparent pixel has colour 0 and its mask bit set.
set(xorBytes "")
set(andBytes "")
math(EXPR lastRow "${kSize} - 1")
math(EXPR lastPair "${kSize} / 2 - 1")
math(EXPR lastMaskByte "${kSize} / 8 - 1")
foreach(y RANGE ${lastRow} 0 -1)
  list(GET rows ${y} row)
  foreach(pair RANGE 0 ${lastPair})
    math(EXPR x "${pair} * 2")
    string(SUBSTRING "${row}" ${x} 2 pixels)
    set(byte 0)
    foreach(k 0 1)
      string(SUBSTRING "${pixels}" ${k} 1 pixel)
      string(FIND "${kDigits}" "${pixel}" index)
      if(index LESS 0)
        set(index 0)
      endif()
      math(EXPR byte "${byte} * 16 + ${index}")
    endforeach()
    list(APPEND xorBytes ${byte})
  endforeach()
  foreach(maskByte RANGE 0 ${lastMaskByte})
    math(EXPR x "${maskByte} * 8")
    string(SUBSTRING "${row}" ${x} 8 pixels)
    set(byte 0)
    foreach(k RANGE 0 7)
      string(SUBSTRING "${pixels}" ${k} 1 pixel)
      math(EXPR byte "${byte} * 2")
      if(pixel STREQUAL ".")
        math(EXPR byte "${byte} + 1")
      endif()
    endforeach()
    list(APPEND andBytes ${byte})
  endforeach()
endforeach()

list(LENGTH xorBytes xorSize)
list(LENGTH andBytes andSize)
math(EXPR imageSize "${xorSize} + ${andSize}")
math(EXPR doubleHeight "${kSize} * 2")

# BITMAPINFOHEADER: the height counts the colour bits and the mask together.
set(image "")
append_le(image 40 4)               # biSize
append_le(image ${kSize} 4)         # biWidth
append_le(image ${doubleHeight} 4)  # biHeight
append_le(image 1 2)                # biPlanes
append_le(image 4 2)                # biBitCount
append_le(image 0 4)                # biCompression: BI_RGB
append_le(image ${imageSize} 4)     # biSizeImage
append_le(image 0 4)                # biXPelsPerMeter
append_le(image 0 4)                # biYPelsPerMeter
append_le(image 0 4)                # biClrUsed: all 16
append_le(image 0 4)                # biClrImportant
list(APPEND image ${palette} ${xorBytes} ${andBytes})
list(LENGTH image imageBytes)

# GRPICONDIR with its one GRPICONDIRENTRY, naming the image by its id 1.
set(group "")
append_le(group 0 2)                # idReserved
append_le(group 1 2)                # idType: icon
append_le(group 1 2)                # idCount
append_le(group ${kSize} 1)         # bWidth
append_le(group ${kSize} 1)         # bHeight
append_le(group 16 1)               # bColorCount
append_le(group 0 1)                # bReserved
append_le(group 1 2)                # wPlanes
append_le(group 4 2)                # wBitCount
append_le(group ${imageBytes} 4)    # dwBytesInRes
append_le(group 1 2)                # nId

# Raw data in a resource script is a list of 16-bit little-endian words; both blocks have an
# even length.
function(format_words out)
  set(bytes ${ARGN})
  list(LENGTH bytes count)
  math(EXPR lastWord "${count} / 2 - 1")
  set(text "")
  set(column 0)
  foreach(w RANGE 0 ${lastWord})
    math(EXPR lo "${w} * 2")
    math(EXPR hi "${lo} + 1")
    list(GET bytes ${lo} loByte)
    list(GET bytes ${hi} hiByte)
    math(EXPR word "${loByte} + ${hiByte} * 256" OUTPUT_FORMAT HEXADECIMAL)
    if(column EQUAL 0)
      string(APPEND text "    ")
    endif()
    string(APPEND text "${word}")
    if(NOT w EQUAL lastWord)
      string(APPEND text ",")
    endif()
    math(EXPR column "${column} + 1")
    if(column EQUAL 12 OR w EQUAL lastWord)
      string(APPEND text "\n")
      set(column 0)
    else()
      string(APPEND text " ")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

format_words(imageWords ${image})
format_words(groupWords ${group})

file(WRITE "${ICON_OUTPUT}.tmp"
  "// The icon \"ARM\", made by make_icon.cmake from arm_icon.txt; not to be edited.\n"
  "// RT_ICON (3): the 32 x 32 image in 16 colours, id 1.\n"
  "1 3\nBEGIN\n${imageWords}END\n\n"
  "// RT_GROUP_ICON (14): the icon \"ARM\" with its one image.\n"
  "ARM 14\nBEGIN\n${groupWords}END\n")
# configure_file leaves an unchanged output untouched, so nothing rebuilds needlessly.
configure_file("${ICON_OUTPUT}.tmp" "${ICON_OUTPUT}" COPYONLY)
file(REMOVE "${ICON_OUTPUT}.tmp")
