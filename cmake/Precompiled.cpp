// Compiled only to make the shared precompiled header (cmake/Kelvara.cmake).
