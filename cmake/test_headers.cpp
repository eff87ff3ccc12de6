// Compiled only to build the precompiled GoogleTest headers that every
// test file shares (olai_test_headers in the top CMakeLists.txt).
