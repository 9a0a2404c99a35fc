// Compiled with one header forced in front of it: see CMakeLists.txt.
