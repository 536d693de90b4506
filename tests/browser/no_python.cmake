message(FATAL_ERROR "The browser tests need python3 (Debian package python3), which CMake did not find.")
