# tarnwick.efi (the real tool) and tarnwick-simec.efi (the same program with
# a simulated EC behind its ports), built with clang for the PE/COFF target
# and linked with lld-link, next to the host build and without touching its
# compiler. gnu-efi provides headers only; the image carries its own tiny
# runtime (platform/uefi/runtime.cpp).

get_filename_component(TARNWICK_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)

find_program(TARNWICK_EFI_CLANG NAMES clang++ clang++-16 clang++-15 clang++-14)
find_program(TARNWICK_EFI_LINK NAMES lld-link lld-link-16 lld-link-15 lld-link-14)
find_program(TARNWICK_EFI_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT TARNWICK_EFI_PYTHON)
  find_program(TARNWICK_EFI_PYTHON NAMES python3)
endif()
set(TARNWICK_EFI_INCLUDE /usr/include/efi CACHE PATH "gnu-efi header directory")
if(NOT TARNWICK_EFI_CLANG OR NOT TARNWICK_EFI_LINK OR NOT EXISTS ${TARNWICK_EFI_INCLUDE}/efi.h
   OR NOT TARNWICK_EFI_PYTHON)
  message(FATAL_ERROR
    "TARNWICK_UEFI is ON but the UEFI toolchain is incomplete "
    "(clang++: ${TARNWICK_EFI_CLANG}, lld-link: ${TARNWICK_EFI_LINK}, "
    "gnu-efi headers in ${TARNWICK_EFI_INCLUDE}, python3: ${TARNWICK_EFI_PYTHON}). "
    "Install the Debian packages clang lld gnu-efi python3, or configure with -DTARNWICK_UEFI=OFF.")
endif()

set(TARNWICK_EFI_CXXFLAGS
  --target=x86_64-w64-windows-gnu -std=c++17 -O2 -ffreestanding -fno-exceptions -fno-rtti
  -fno-threadsafe-statics -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector
  -mno-red-zone -mno-stack-arg-probe -fno-builtin -DGNU_EFI_USE_MS_ABI
  -Wall -Wextra -Werror=global-constructors -Werror=exit-time-destructors
  -I${TARNWICK_ROOT} -I${TARNWICK_EFI_INCLUDE} -I${TARNWICK_EFI_INCLUDE}/x86_64
  -I${TARNWICK_EFI_INCLUDE}/protocol)
# /Brepro: no link time stamp, so that one commit always gives the same bytes.
# The version string is data nothing refers to; /include keeps it.
set(TARNWICK_EFI_LDFLAGS
  /nologo /subsystem:efi_application /entry:efi_main /nodefaultlib /machine:x64 /opt:ref /Brepro
  /include:tarnwick_version_string)

# Compiles each source once into build/uefi-obj/<path>.obj; returns the objects.
function(tarnwick_efi_compile out_var)
  set(objects)
  foreach(source ${ARGN})
    file(RELATIVE_PATH rel ${TARNWICK_ROOT} ${source})
    set(object ${CMAKE_BINARY_DIR}/uefi-obj/${rel}.obj)
    get_filename_component(object_dir ${object} DIRECTORY)
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${object_dir}
      COMMAND ${TARNWICK_EFI_CLANG} ${TARNWICK_EFI_CXXFLAGS} -MD -MF ${object}.d -c ${source} -o ${object}
      DEPENDS ${source}
      DEPFILE ${object}.d
      COMMENT "Compiling ${rel} for UEFI"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  set(${out_var} ${objects} PARENT_SCOPE)
endfunction()

# Links an image, then refuses it unless it is a PE32+ EFI application that
# imports nothing. lld-link itself fails on any symbol the runtime lacks.
function(tarnwick_efi_link name)
  set(image ${CMAKE_BINARY_DIR}/${name})
  add_custom_command(
    OUTPUT ${image}
    COMMAND ${TARNWICK_EFI_LINK} ${TARNWICK_EFI_LDFLAGS} /out:${image}.tmp ${ARGN}
    COMMAND ${TARNWICK_EFI_PYTHON} ${TARNWICK_ROOT}/platform/uefi/check_efi.py ${image}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${image}.tmp ${image}
    DEPENDS ${ARGN} ${TARNWICK_ROOT}/platform/uefi/check_efi.py
    COMMENT "Linking and checking ${name}"
    VERBATIM)
endfunction()

file(GLOB TARNWICK_EFI_COMMON CONFIGURE_DEPENDS ${TARNWICK_ROOT}/platform/uefi/*.cpp)
file(GLOB TARNWICK_EFI_REAL CONFIGURE_DEPENDS ${TARNWICK_ROOT}/platform/uefi/real/*.cpp)
file(GLOB TARNWICK_EFI_SIMEC CONFIGURE_DEPENDS ${TARNWICK_ROOT}/sim/simec/*.cpp)
# The freestanding part of sim/: the EC model, its settings and the sample
# image of its default flash.
set(TARNWICK_EFI_EC_MODEL
  ${TARNWICK_ROOT}/sim/ec_model.cpp ${TARNWICK_ROOT}/sim/ec_flash_interpreter.cpp
  ${TARNWICK_ROOT}/sim/ec_settings.cpp ${TARNWICK_ROOT}/sim/sample_image_bytes.cpp)

tarnwick_efi_compile(efi_common_objects ${PRODUCT_SOURCES} ${TARNWICK_EFI_COMMON})
# The version source is written into the build directory at every build.
set(efi_version_object ${CMAKE_BINARY_DIR}/uefi-obj/generated/tarnwick_version.cpp.obj)
add_custom_command(
  OUTPUT ${efi_version_object}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/uefi-obj/generated
  COMMAND ${TARNWICK_EFI_CLANG} ${TARNWICK_EFI_CXXFLAGS} -c ${TARNWICK_VERSION_SOURCE} -o ${efi_version_object}
  DEPENDS ${TARNWICK_VERSION_SOURCE}
  COMMENT "Compiling the version for UEFI"
  VERBATIM)
list(APPEND efi_common_objects ${efi_version_object})
tarnwick_efi_compile(efi_real_objects ${TARNWICK_EFI_REAL})
tarnwick_efi_link(tarnwick.efi ${efi_common_objects} ${efi_real_objects})
set(efi_images ${CMAKE_BINARY_DIR}/tarnwick.efi)
if(TARNWICK_EFI_SIMEC)
  tarnwick_efi_compile(efi_simec_objects ${TARNWICK_EFI_SIMEC} ${TARNWICK_EFI_EC_MODEL})
  tarnwick_efi_link(tarnwick-simec.efi ${efi_common_objects} ${efi_simec_objects})
  list(APPEND efi_images ${CMAKE_BINARY_DIR}/tarnwick-simec.efi)
endif()
add_custom_target(tarnwick_efi ALL DEPENDS ${efi_images})
# The real tool beside the documents' share/; the simulated-EC build in a
# folder that says it is no tool for a notebook.
install(FILES ${CMAKE_BINARY_DIR}/tarnwick.efi DESTINATION share/tarnwick)
if(TARNWICK_EFI_SIMEC)
  install(FILES ${CMAKE_BINARY_DIR}/tarnwick-simec.efi DESTINATION share/tarnwick/simulated-ec-for-qemu)
endif()
