# Runs one scenario of gui_driver.exe under Wine on its own virtual X server.
# Takes XVFB_RUN, WINE, WINESERVER, DRIVER, FLASHDESK, ARTIFACTS and
# SCENARIO; WINEPREFIX comes from the environment. The prefix's server is
# waited for before and after, so that scenarios never share a Wine desktop
# whose X server has gone.
execute_process(COMMAND ${WINESERVER} -w TIMEOUT 20)
execute_process(
  COMMAND ${XVFB_RUN} -a -s "-screen 0 1024x768x24" ${WINE} ${DRIVER} ${FLASHDESK} ${ARTIFACTS} ${SCENARIO}
  RESULT_VARIABLE result
  TIMEOUT 130)
execute_process(COMMAND ${WINESERVER} -w TIMEOUT 20)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gui_driver ${SCENARIO}: ${result}")
endif()
