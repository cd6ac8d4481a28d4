# Generates the sample firmware set. The files are the same bytes on every
# run and machine, and are only rebuilt when the generator changes. Python
# runs with -B so that no bytecode cache lands in the source tree.
find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter)
find_program(MKIMAGE mkimage REQUIRED)
set(FLASHDESK_PYTHON ${Python3_EXECUTABLE} CACHE INTERNAL "Python interpreter of the build")

set(FLASHDESK_FIRMWARE_GENERATOR ${CMAKE_CURRENT_SOURCE_DIR}/generate/make_firmware_set.py CACHE INTERNAL
  "Writes the sample firmware set: <python> -B <generator> <mkimage> <folder>")
file(GLOB firmware_generator_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/generate/*.py)

set(firmware_sample_files
  ${FLASHDESK_FIRMWARE_SAMPLE_DIR}/root_uImage
  ${FLASHDESK_FIRMWARE_SAMPLE_DIR}/uboot.img
  ${FLASHDESK_FIRMWARE_SAMPLE_DIR}/fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz
  ${FLASHDESK_FIRMWARE_SAMPLE_DIR}/fa_kr710_host_nomifi_ims_NA_C0_B.fbf_md5sum)

add_custom_command(
  OUTPUT ${firmware_sample_files}
  COMMAND ${FLASHDESK_PYTHON} -B ${FLASHDESK_FIRMWARE_GENERATOR} ${MKIMAGE} ${FLASHDESK_FIRMWARE_SAMPLE_DIR}
  DEPENDS ${firmware_generator_sources}
  COMMENT "Generating the sample firmware set"
  VERBATIM)
add_custom_target(firmware_set ALL DEPENDS ${firmware_sample_files})
