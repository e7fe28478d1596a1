# Draws the saver's icon with ImageMagick: a night sky with a moon, at 48, 32 and 16 pixels.
# The same bytes on every build: no date or time chunk should an entry be stored as PNG.
# Run as: cmake -DCONVERT=<convert> -DOUT=<file.ico> -P MakeIcon.cmake
execute_process(
  COMMAND ${CONVERT} -size 48x48 "xc:#101840"
    -fill "#f4e8a0" -draw "circle 30,18 30,6"
    -fill "#101840" -draw "circle 36,14 36,4"
    -fill white -draw "point 8,10" -draw "point 14,30" -draw "point 22,40" -draw "point 40,38"
    -fill "#2060c0" -draw "rectangle 0,42 47,47"
    -define icon:auto-resize=48,32,16 -define png:exclude-chunks=date,time ${OUT}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Could not draw the icon (${result})")
endif()
