# The Windows side: Win32 serial, threads, events, the registry, and the dialog program.
message(FATAL_ERROR "the Windows build is not in place yet")
