# Delivery on the road: the report sent by the road's own send thread; the Simple MAPI parent
# window (a window on the display, the mail test's provider).
vidudo_add_wine_check(NAME crashlab_delivery SCRIPT crashlab_delivery_check.py GUI WINE_TIMEOUT 120 TIMEOUT 300
  ARGS -- $<TARGET_FILE:crashlab> $<TARGET_FILE:crashlab_launch> $<TARGET_FILE:mapi_provider>)
