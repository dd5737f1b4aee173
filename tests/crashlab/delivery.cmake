# Delivery on the road: the report sent by the road's own send thread.
