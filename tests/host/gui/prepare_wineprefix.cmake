# Creates or updates the Wine prefix of the window tests (the first start of
# Wine in an empty prefix takes up to a minute) and gives it a virtual
# desktop of the X server's size, on which Wine draws the window frames
# itself, and Debian's fonts-wine (Tahoma for the dialogs, Marlett for the
# caption buttons) in the prefix's fonts folder, where this Wine looks for
# them. Waits until the prefix's server has ended.
# Takes XVFB_RUN, WINE and WINESERVER; WINEPREFIX comes from the environment.
function(run_step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result TIMEOUT 150)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${result}")
  endif()
endfunction()

run_step(${XVFB_RUN} -a ${WINE} wineboot --init)
run_step(${WINE} reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f)
run_step(${WINE} reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 1024x768 /f)
run_step(${WINESERVER} -w)
file(GLOB wine_fonts /usr/share/wine/fonts/*.ttf)
if(NOT wine_fonts)
  message(FATAL_ERROR "no fonts in /usr/share/wine/fonts: install fonts-wine (make deps)")
endif()
file(COPY ${wine_fonts} DESTINATION "$ENV{WINEPREFIX}/drive_c/windows/Fonts")
message(STATUS "Wine prefix ready: $ENV{WINEPREFIX}")
