# The real-shell tests (tests/uefi/), one CTest test each under the label
# uefi: `ctest -L uefi`. A test is a function marked @test in a test_*.py file.
file(GLOB UEFI_TEST_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/uefi/test_*.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${UEFI_TEST_FILES})
foreach(file IN LISTS UEFI_TEST_FILES)
  file(READ ${file} source)
  string(REGEX MATCHALL "\n@test[^\n]*\ndef [A-Za-z0-9_]+" marks "${source}")
  foreach(mark IN LISTS marks)
    string(REGEX REPLACE ".*\ndef " "" name "${mark}")
    add_test(NAME uefi.${name} COMMAND sh ${CMAKE_SOURCE_DIR}/tests/uefi/run_uefi_tests.sh ${CMAKE_BINARY_DIR} ${name})
    # Slow ones first (a higher cost starts earlier under ctest -j).
    set(cost 1)
    if(mark MATCHES "slow=True")
      set(cost 10)
    endif()
    set_tests_properties(uefi.${name} PROPERTIES LABELS uefi TIMEOUT 900 COST ${cost}
                         SKIP_REGULAR_EXPRESSION "(^|\n)SKIP ")
  endforeach()
endforeach()
