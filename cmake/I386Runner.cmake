# Runs the i386 test programs: natively where the kernel executes 32-bit
# programs, otherwise through the qemu-i386 user-mode emulator.
set(_probe_dir ${CMAKE_BINARY_DIR}/i386_probe)
file(WRITE ${_probe_dir}/probe.c "int main(void) { return 0; }\n")
try_run(_probe_run_result _probe_compiled ${_probe_dir} ${_probe_dir}/probe.c
        COMPILE_DEFINITIONS -m32 LINK_OPTIONS -m32
        COMPILE_OUTPUT_VARIABLE _probe_compile_output)
if(NOT _probe_compiled)
  message(FATAL_ERROR "Cannot build i386 programs; install the 32-bit toolchain: "
                      "apt-get install -y g++-multilib\n${_probe_compile_output}")
endif()
if(NOT _probe_run_result EQUAL 0)
  find_program(QEMU_I386 qemu-i386)
  if(NOT QEMU_I386)
    message(FATAL_ERROR "This kernel does not run i386 programs and qemu-i386 is missing: "
                        "apt-get install -y qemu-user")
  endif()
  message(STATUS "i386 test programs run under ${QEMU_I386}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_I386})
endif()
