# Delivery on the road: the report sent by the road's own send thread.
add_test(NAME crashlab_delivery
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/crashlab_delivery_check.py
    ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh --timeout 120 -- $<TARGET_FILE:crashlab> $<TARGET_FILE:crashlab_launch>)
set_tests_properties(crashlab_delivery PROPERTIES ENVIRONMENT "WINEPREFIX=${VIDUDO_WINEPREFIX}" TIMEOUT 300)
