# Programs and libraries that each carry a reporter: forwarding to the main module and dispatch between peers.
